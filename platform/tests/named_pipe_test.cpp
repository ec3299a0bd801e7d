#include "platform/named_pipe.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>
#include <thread>

#include "platform/thread.h"
#include "platform_child.h"

namespace wf {
namespace {

const std::string kBytePipe = "\\\\SRV1\\PIPE\\Corvane\\Wrenfi.eld";
const std::string kMessagePipe = "\\\\SRV1\\PIPE\\CorLink\\TAMBOR";

NamedPipe openPipe(const std::string& path) {
  DWORD error = 0;
  auto pipe = NamedPipe::open(path, &error);
  if (!pipe) throw std::runtime_error("open " + path + ": " + std::to_string(error));
  return std::move(*pipe);
}

PipeListener listenOn(const std::string& path, PipeMode mode) {
  DWORD error = 0;
  auto listener = PipeListener::listen(path, mode, &error);
  if (!listener) throw std::runtime_error("listen " + path + ": " + std::to_string(error));
  return std::move(*listener);
}

DWORD writePipeText(NamedPipe& pipe, const std::string& text) {
  return pipe.write(text.data(), text.size());
}

// Reads until `size` bytes came; what came.
std::string readExactly(NamedPipe& pipe, std::size_t size) {
  std::string out;
  char buffer[256];
  while (out.size() < size) {
    std::size_t got = 0;
    if (pipe.read(buffer, std::min(sizeof buffer, size - out.size()), &got, 10'000) != ERROR_SUCCESS) break;
    out.append(buffer, got);
  }
  return out;
}

}  // namespace

TEST(NamedPipe, NamesAreParsedAndCheckedWithoutRegardToCase) {
  auto name = parsePipeName("\\\\srv1\\pipe\\CorLink\\Tambor");
  ASSERT_TRUE(name);
  EXPECT_EQ(name->server, "SRV1");
  EXPECT_EQ(name->pipe, "PIPE\\CORLINK\\TAMBOR");
  for (const char* bad : {"", "\\\\", "\\\\SRV1", "\\\\SRV1\\", "\\\\\\PIPE\\x", "\\SRV1\\PIPE\\x", "\\\\SRV1\\PIPE\\",
                          "\\\\SRV1\\MAILSLOT\\x"}) {
    EXPECT_FALSE(parsePipeName(bad)) << bad;
    DWORD error = 0;
    EXPECT_FALSE(NamedPipe::open(bad, &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BAD_PATHNAME)) << bad;
  }
  // A name the socket path cannot hold is refused, never cut to another name.
  DWORD error = 0;
  EXPECT_FALSE(PipeListener::listen("\\\\SRV1\\PIPE\\" + std::string(200, 'x'), PipeMode::Byte, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_BAD_PATHNAME));
}

TEST(NamedPipe, NobodyListeningAndStoppedListenerAnswerFileNotFound) {
  DWORD error = 0;
  EXPECT_FALSE(NamedPipe::open(kBytePipe, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  {
    auto listener = listenOn(kBytePipe, PipeMode::Byte);
    EXPECT_FALSE(PipeListener::listen(kBytePipe, PipeMode::Byte, &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PIPE_BUSY));
    EXPECT_TRUE(NamedPipe::open(kBytePipe, &error));
  }
  EXPECT_FALSE(NamedPipe::open(kBytePipe, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(NamedPipe, ByteRoundTripWithAServerInAnotherProcessAndItsEndpointReclaimed) {
  testing::PlatformChild server;
  server.pipeEcho(kBytePipe, "byte");
  // Both ways of joining server and pipe name, in any case, reach the one pipe.
  auto pipe = openPipe("\\\\srv1" + std::string("\\pipe\\corvane\\WRENFI.ELD"));
  EXPECT_EQ(pipe.kind(), PipeMode::Byte);
  EXPECT_EQ(pipe.setReadMode(PipeMode::Message), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ASSERT_EQ(pipe.setReadMode(PipeMode::Byte), static_cast<DWORD>(ERROR_SUCCESS));
  std::string big(20'000, 'q');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  ASSERT_EQ(writePipeText(pipe, "hello"), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(writePipeText(pipe, big), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(readExactly(pipe, 5 + big.size()), "hello" + big);

  server.process().kill(SIGKILL);
  char byte;
  std::size_t got = 0;
  EXPECT_EQ(pipe.read(&byte, 1, &got, 10'000), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  DWORD error = 0;
  EXPECT_FALSE(NamedPipe::open(kBytePipe, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  auto socket = pipeSocketPath(kBytePipe);
  ASSERT_TRUE(socket);
  EXPECT_TRUE(std::filesystem::exists(*socket));  // left behind by the killed server

  auto listener = listenOn(kBytePipe, PipeMode::Byte);
  auto again = openPipe(kBytePipe);
  auto accepted = listener.accept(&error, 10'000);
  ASSERT_TRUE(accepted) << error;
  ASSERT_EQ(writePipeText(again, "x"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(readExactly(*accepted, 1), "x");
}

TEST(NamedPipe, MessagesKeepBoundariesAndTheRestOfALongOne) {
  testing::PlatformChild server;
  server.pipeEcho(kMessagePipe, "message");
  auto pipe = openPipe(kMessagePipe);
  EXPECT_EQ(pipe.kind(), PipeMode::Message);
  EXPECT_EQ(pipe.setReadMode(PipeMode::Byte), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ASSERT_EQ(pipe.setReadMode(PipeMode::Message), static_cast<DWORD>(ERROR_SUCCESS));

  char reply[8];
  std::size_t got = 0;
  ASSERT_EQ(pipe.transact("\x00\x04\xCC\xFC", 4, reply, sizeof reply, &got, 10'000), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(std::string(reply, got), std::string("\x00\x04\xCC\xFC", 4));

  // A message longer than the buffer: its head with ERROR_MORE_DATA, the rest kept.
  EXPECT_EQ(pipe.transact("0123456789abcdefXYZ", 19, reply, sizeof reply, &got, 10'000),
            static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(std::string(reply, got), "01234567");
  std::size_t waiting = 0;
  ASSERT_EQ(pipe.peek(&waiting), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(waiting, 11u);
  EXPECT_EQ(pipe.read(reply, sizeof reply, &got, 0), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(std::string(reply, got), "89abcdef");
  EXPECT_EQ(pipe.read(reply, sizeof reply, &got, 0), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(std::string(reply, got), "XYZ");

  ASSERT_EQ(writePipeText(pipe, "one"), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(writePipeText(pipe, "two"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(pipe.read(reply, sizeof reply, &got, 10'000), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(std::string(reply, got), "one");
  EXPECT_EQ(pipe.read(reply, sizeof reply, &got, 10'000), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(std::string(reply, got), "two");
}

TEST(NamedPipe, PeerGoneGivesBrokenPipeToReadsAndNoDataToWrites) {
  for (PipeMode mode : {PipeMode::Byte, PipeMode::Message}) {
    auto listener = listenOn(kBytePipe, mode);
    auto client = openPipe(kBytePipe);
    auto server = listener.accept(nullptr, 10'000);
    ASSERT_TRUE(server);
    std::size_t waiting = 7;
    EXPECT_EQ(client.peek(&waiting), static_cast<DWORD>(ERROR_SUCCESS));  // nothing yet, but alive
    EXPECT_EQ(waiting, 0u);
    ASSERT_EQ(writePipeText(*server, "last"), static_cast<DWORD>(ERROR_SUCCESS));
    server.reset();
    // What was sent before the close is still read; then the end shows.
    EXPECT_EQ(readExactly(client, 4), "last");
    EXPECT_EQ(client.peek(&waiting), static_cast<DWORD>(ERROR_BROKEN_PIPE));
    char byte;
    std::size_t got = 0;
    EXPECT_EQ(client.read(&byte, 1, &got, 10'000), static_cast<DWORD>(ERROR_BROKEN_PIPE));
    EXPECT_EQ(writePipeText(client, "x"), static_cast<DWORD>(ERROR_NO_DATA));  // and the test lives: no SIGPIPE
  }
}

TEST(NamedPipe, BlockingCallsTimeOutAndAreCancelled) {
  auto listener = listenOn(kBytePipe, PipeMode::Byte);
  auto client = openPipe(kBytePipe);
  char byte;
  std::size_t got = 0;
  EXPECT_EQ(client.read(&byte, 1, &got, 50), static_cast<DWORD>(ERROR_TIMEOUT));
  DWORD error = 0;
  auto server = listener.accept(&error, 10'000);
  ASSERT_TRUE(server);
  EXPECT_FALSE(listener.accept(&error, 50));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_TIMEOUT));

  // Another thread's cancel, and the reading thread's own stop token.
  DWORD cancelled = 0;
  std::thread reader([&] { cancelled = client.read(&byte, 1, &got); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  client.cancel();
  reader.join();
  EXPECT_EQ(cancelled, static_cast<DWORD>(ERROR_OPERATION_ABORTED));

  DWORD stopped = 0;
  Thread stoppable("pipe-stop", [&](std::stop_token stop) { stopped = server->read(&byte, 1, &got, kInfinite, stop); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  stoppable.requestStop();
  ASSERT_TRUE(stoppable.joinFor(10'000));
  EXPECT_EQ(stopped, static_cast<DWORD>(ERROR_OPERATION_ABORTED));

  DWORD acceptResult = 0;
  std::thread acceptor([&] { acceptResult = listener.accept(&acceptResult) ? 0 : acceptResult; });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  listener.cancel();
  acceptor.join();
  EXPECT_EQ(acceptResult, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST(NamedPipe, PeekAnswersBesideAWaitingReader) {
  auto listener = listenOn(kBytePipe, PipeMode::Byte);
  auto client = openPipe(kBytePipe);
  auto server = listener.accept(nullptr, 10'000);
  ASSERT_TRUE(server);
  std::string received;
  std::thread reader([&] { received = readExactly(client, 3); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(client.peek(), static_cast<DWORD>(ERROR_SUCCESS));  // does not wait for the reader
  ASSERT_EQ(writePipeText(*server, "abc"), static_cast<DWORD>(ERROR_SUCCESS));
  reader.join();
  EXPECT_EQ(received, "abc");
}

TEST(NamedPipe, ClosingWaitsForAReaderToLeave) {
  auto listener = listenOn(kBytePipe, PipeMode::Byte);
  auto client = std::make_unique<NamedPipe>(openPipe(kBytePipe));
  DWORD result = 0;
  std::thread reader([&] {
    char byte;
    std::size_t got = 0;
    result = client->read(&byte, 1, &got);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  *client = openPipe(kBytePipe);  // the old end is cancelled and closed once its reader left
  reader.join();
  EXPECT_EQ(result, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST(NamedPipe, TwoClientsAreServedApart) {
  auto listener = listenOn(kBytePipe, PipeMode::Byte);
  auto first = openPipe(kBytePipe);
  auto second = openPipe("\\\\Srv1\\Pipe\\CORVANE\\wrenfi.eld");
  auto a = listener.accept(nullptr, 10'000);
  auto b = listener.accept(nullptr, 10'000);
  ASSERT_TRUE(a && b);
  ASSERT_EQ(writePipeText(first, "from-first"), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(writePipeText(second, "from-second"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(readExactly(*a, 10), "from-first");
  EXPECT_EQ(readExactly(*b, 11), "from-second");
  ASSERT_EQ(writePipeText(*b, "to-second"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(readExactly(second, 9), "to-second");
  std::size_t waiting = 9;
  EXPECT_EQ(first.peek(&waiting), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(waiting, 0u);
}

}  // namespace wf
