// Scenarios and settings, in process and through the wf-printer-sim program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "hex_bytes.h"
#include "hostile_places.h"
#include "platform/parallel_port.h"
#include "port_client.h"
#include "sim/printer/npa.h"
#include "sim/printer/simulator.h"
#include "test_dirs.h"

namespace wf::sim {
namespace {

namespace fs = std::filesystem;
using portwire::FrameType;
using testing::PortClient;
using wf::testing::ChildProcess;
using wf::testing::hex;
using wf::testing::toHex;

fs::path writeScenario(const std::string& text) {
  const fs::path file = wf::testing::testDataRoot() / "test.scenario";
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "profiles = " << WF_SIM_PROFILE_DIR << "\n" << text;
  return file;
}

std::string readFile(const fs::path& file) {
  std::ifstream in(file);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Simulator, ScenarioStartsItsPrintersAndAppliesSettings) {
  Simulator sim;
  std::string error;
  ASSERT_TRUE(sim.loadScenario(writeScenario("LPT2 = meridian-vireo10.profile\nLPT2.reply-delay = 40\n"
                                             "LPT2.fail-variable = 0x0031\nLPT2.status = 00 40 00\n"
                                             "LPT2.alert 6 = 01 FF 01 00\nLPT2.npa = auto\n"),
                               &error))
      << error;
  EXPECT_EQ(sim.port(1), nullptr);
  ASSERT_NE(sim.port(2), nullptr);
  auto& printer = sim.port(2)->printer();
  EXPECT_EQ(printer.knobs().replyDelayMs, 40u);
  EXPECT_TRUE(printer.knobs().failVariables.count(0x0031));
  EXPECT_EQ(printer.state().status[1], 0x40);
  EXPECT_EQ(printer.state().npa, NpaMode::Auto);
  EXPECT_EQ(toHex(printer.state().alertLists[1].at(0)), "01 FF 01 00");
  ASSERT_TRUE(sim.apply("LPT2.clear-alert 6 = 1", {}, &error)) << error;
  EXPECT_TRUE(printer.state().alertLists[1].empty());
  // What a finished job reports.
  for (const char* line : {"LPT2.job-source = 3", "LPT2.job-seconds = 42", "LPT2.job-host = \"PC1\"",
                           "LPT2.job-user = \"ann\"", "LPT2.job-queue = \"Q1\""})
    ASSERT_TRUE(sim.apply(line, {}, &error)) << line << ": " << error;
  EXPECT_EQ(printer.knobs().jobSource, 3u);
  EXPECT_EQ(printer.knobs().jobSeconds, 42u);
  EXPECT_EQ(printer.knobs().jobHost + printer.knobs().jobUser + printer.knobs().jobQueue, "PC1annQ1");
  ASSERT_TRUE(sim.apply("LPT2.fail-captures = 10", {}, &error)) << error;
  EXPECT_EQ(printer.knobs().failCaptures, 10);
  ASSERT_TRUE(sim.apply("LPT2.jobbuf-partition = 40", {}, &error)) << error;
  ASSERT_TRUE(sim.apply("LPT2.jobbuf-port = 3 0 1", {}, &error)) << error;
  EXPECT_EQ(printer.state().bufferPartition, 40u);
  ASSERT_EQ(printer.state().bufferedPorts.size(), 1u);
  EXPECT_EQ(printer.state().bufferedPorts[0].set, 1u);
}

TEST(Simulator, RejectsBadLinesWithTheReason) {
  Simulator sim;
  std::string error;
  ASSERT_TRUE(sim.loadScenario(writeScenario("LPT1 = generic-7301.profile\n"), &error)) << error;
  const struct {
    const char* line;
    const char* error;
  } cases[] = {
      {"LPT0 = generic-7301.profile", "unknown key 'LPT0'"},
      {"LPT1 = generic-7301.profile", "LPT1 has a printer already"},
      {"LPT3.silent = 1", "no printer on LPT3"},
      {"LPT1.silent = yes", "expected 0 or 1"},
      {"LPT1.reply-delay = soon", "expected a number"},
      {"LPT1.write-error = jammed", "unknown write error 'jammed'"},
      {"LPT1.raise-status = 0x4", "not sent: no host, or the class is not enabled"},
      {"LPT1.noise = zz", "expected \"text\" or hex bytes"},
      {"LPT1.reply-command = 0x100", "expected a command byte"},
      {"LPT1.device-id-answer = maybe", "device-id-answer is id, fail or none"},
      {"LPT1.held = 2", "expected 0 or 1"},
      {"LPT1.job-source = 256", "expected an input source"},
      {"LPT1.job-seconds = 65536", "expected seconds up to 65535"},
      {"LPT1.colour = red", "unknown key 'colour'"},
      {"nothing here", "expected key = value"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(sim.apply(c.line, {}, &error)) << c.line;
    EXPECT_EQ(error, c.error) << c.line;
  }
  EXPECT_FALSE(sim.loadScenario(writeScenario("LPT4 = missing.profile\n"), &error));
  EXPECT_NE(error.find("line 2: cannot read"), std::string::npos) << error;
}

TEST(Simulator, ScenarioProfileAndLogMustBeRegularFiles) {
  const fs::path dir = wf::testing::testDataRoot() / "hostile";
  const fs::path place = dir / "named";
  Simulator sim;
  {
    SCOPED_TRACE("scenario");
    wf::testing::expectHostilePlacesRefused(place,
                                            [&](std::string* e) { return sim.loadScenario(place, e); });
  }
  {
    SCOPED_TRACE("profile");
    wf::testing::expectHostilePlacesRefused(
        place, [&](std::string* e) { return sim.apply("LPT1 = named", dir, e); });
  }
  SCOPED_TRACE("log");
  wf::testing::expectHostilePlacesRefused(
      place, [&](std::string* e) { return sim.apply("log = named", dir, e); }, true);
}

// The program: started with a scenario, driven by lines on its input.
ChildProcess simProgram(const fs::path& scenario) {
  return ChildProcess("wf-printer-sim", {scenario.string()});
}

int stop(ChildProcess& program, int signal) {
  program.kill(signal);
  return program.waitExit();
}

TEST(SimulatorProgram, ServesTheScenarioLogsTheWireAndTakesCommands) {
  const auto scenario =
      writeScenario("log = wire.log\nLPT1 = meridian-vireo10.profile\nLPT2 = halcyon-chroma.profile\n");
  ChildProcess program = simProgram(scenario);
  ASSERT_EQ(program.readLine(), "ready");

  PortClient host;
  ASSERT_TRUE(host.connect(1));
  ASSERT_EQ(host.next()->type, FrameType::Welcome);
  ASSERT_TRUE(host.send(FrameType::DeviceIdRequest));
  EXPECT_NE(host.next()->payload.find("MDL:Vireo 10;"), std::string::npos);
  host.write(hex("A5 00 06 50 03 03 40 02 01"));
  EXPECT_EQ(toHex(host.read(7)), "A5 00 04 00 03 03 00");

  EXPECT_EQ(program.call("LPT1.raise-status = 0x4"), "ok");
  EXPECT_EQ(toHex(host.read(8)), "A5 00 05 00 FF 00 02 00");
  EXPECT_EQ(program.call("LPT2.raise-status = 0x4"), "err not sent: no host, or the class is not enabled");
  EXPECT_EQ(program.call("LPT1.write-error = not-selected"), "ok");
  auto state = host.next();
  ASSERT_TRUE(state);
  EXPECT_EQ(state->type, FrameType::ErrorState);
  EXPECT_EQ(toHex(state->payload), "02");

  EXPECT_EQ(stop(program, SIGTERM), 0);
  const std::string log = readFile(scenario.parent_path() / "wire.log");
  EXPECT_NE(log.find("LPT1 in port open\n"), std::string::npos) << log;
  EXPECT_NE(log.find("LPT1 out devid 4D 46 47"), std::string::npos) << log;
  EXPECT_NE(log.find("LPT1 in packet A5 00 06 50 03 03 40 02 01\nLPT1 out packet A5 00 04 00 03 03 00\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("LPT1 out packet A5 00 05 00 FF 00 02 00\n"), std::string::npos) << log;
  // Stopped cleanly: the endpoints are gone.
  PortClient late;
  EXPECT_FALSE(late.connect(1));
}

std::string readPort(ParallelPort& port, std::size_t n) {
  std::string buffer(n, '\0');
  buffer.resize(port.read(buffer).bytes);
  return buffer;
}

std::string deviceIdOf(ParallelPort& port, PortError* error = nullptr) {
  std::string id(4096, '\0');
  std::size_t returned = 0;
  const PortError e = port.deviceControl(kDeviceControlGetDeviceId, {}, id, returned);
  if (error) *error = e;
  id.resize(returned);
  return id;
}

// What the broker does with two local printers, from another process than
// the simulator's, through the platform's port layer; faults set on the fly.
TEST(SimulatorProgram, TwoPrintersOnLpt1AndLpt3ServeAnotherProcess) {
  setTimeScaleForTest(0.05);
  ChildProcess program =
      simProgram(writeScenario("LPT1 = meridian-vireo10.profile\nLPT3 = generic-7301.profile\n"));
  ASSERT_EQ(program.readLine(), "ready");
  EXPECT_EQ(openParallelPort("LPT2:").error, PortError::FileNotFound);
  const std::string pjlQuery = std::string("\x1B%-12345X@PJL DINQUIRE LNPAP\r\n\x1B%-12345X") + '\0';
  const CommTimeouts query{50, 5, 1000, 10, 2500};

  auto lpt1 = openParallelPort("LPT1:");
  ASSERT_TRUE(lpt1.port);
  lpt1.port->setTimeouts(query);
  EXPECT_NE(deviceIdOf(*lpt1.port).find("MDL:Vireo 10;"), std::string::npos);
  ASSERT_EQ(lpt1.port->write(pjlQuery).written, 40u);
  EXPECT_EQ(readPort(*lpt1.port, 64), "@PJL DINQUIRE LNPAP\r\nON\r\n\f");

  auto lpt3 = openParallelPort("LPT3:");
  ASSERT_TRUE(lpt3.port);
  lpt3.port->setTimeouts(query);
  EXPECT_NE(deviceIdOf(*lpt3.port).find("MDL:7301 plus;"), std::string::npos);
  lpt3.port->write(pjlQuery);
  EXPECT_EQ(readPort(*lpt3.port, 64), "@PJL DINQUIRE LNPAP\r\nAUTO\r\n\f");
  lpt3.port->write(std::string(npa::kSyncPacket) + hex("A5 00 06 50 E0 E7 00 00 30"));
  EXPECT_EQ(toHex(readPort(*lpt3.port, 10)), "A5 00 07 00 E0 E7 00 00 30 01");

  // Faults set while the ports are open.
  EXPECT_EQ(program.call("LPT1.reply-command = 0x05"), "ok");
  EXPECT_EQ(program.call("LPT1.error-replies = 1"), "ok");
  lpt1.port->write(hex("A5 00 03 50 04 00"));
  EXPECT_EQ(toHex(readPort(*lpt1.port, 9)), "A5 00 06 80 05 00 00 00 00");
  EXPECT_EQ(program.call("LPT1.device-id-answer = fail"), "ok");
  PortError error{};
  EXPECT_EQ(deviceIdOf(*lpt1.port, &error), "");
  EXPECT_EQ(error, PortError::GenFailure);

  EXPECT_EQ(program.call("LPT3.write-error = out-of-paper"), "ok");
  EXPECT_EQ(program.call("LPT3.held = 1"), "ok");
  lpt3.port.reset();
  EXPECT_EQ(openParallelPort("LPT3:").error, PortError::AccessDenied);
  EXPECT_EQ(program.call("LPT3.held = 0"), "ok");
  auto again = openParallelPort("LPT3:");
  ASSERT_TRUE(again.port);
  EXPECT_EQ(again.port->write("page").error, WriteErrorClass::OutOfPaper);

  EXPECT_EQ(stop(program, SIGTERM), 0);
  setTimeScaleForTest(1);
}

TEST(SimulatorProgram, BadScenarioEndsWithAnError) {
  ChildProcess program = simProgram(writeScenario("LPT1 = nowhere.profile\n"));
  EXPECT_EQ(program.readLine(), "err child gone");  // no "ready"
  const int status = program.waitExit();
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
}  // namespace wf::sim
