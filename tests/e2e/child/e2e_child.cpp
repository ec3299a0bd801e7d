#include "e2e_child.h"

#include "hex_bytes.h"

namespace wf::testing {

std::ostream& operator<<(std::ostream& out, const HandleListing& l) {
  out << "{result " << l.result << ", handles ";
  return printList(out, l.handles) << "}";
}

bool EndToEndChild::isPrimary() {
  return expectNumber("primary") != 0;
}
std::int32_t EndToEndChild::registerApp() {
  return static_cast<std::int32_t>(expectNumber("register"));
}
void EndToEndChild::unregisterApp() {
  expectOk("unregister");
}
bool EndToEndChild::gone(unsigned id) {
  const ChildAnswer a = process().ask("gone " + std::to_string(id));
  if (!a.ok && a.error != "still registered") throw ChildError("gone failed: " + a.error);
  return a.ok;
}
HandleListing EndToEndChild::enumerate(std::uint32_t mask) {
  const ChildAnswer a = expectOk("enum " + std::to_string(mask));
  HandleListing l{static_cast<std::int32_t>(a.number(0)), {}};
  if (a.field(1) != "-")
    for (const auto& h : splitList(a.field(1), ',')) l.handles.push_back(std::stoi(h));
  return l;
}
BufferReply EndToEndChild::bidi(std::uint32_t handle, std::uint32_t code, std::uint32_t room,
                                const std::string& requestHex) {
  return BufferReply::parse(expectOk("bidi " + std::to_string(handle) + " " + std::to_string(code) + " " +
                                     std::to_string(room) + (requestHex.empty() ? "" : " " + requestHex)));
}
Written EndToEndChild::write(std::uint32_t handle, const std::string& text) {
  return Written::parse(expectOk("write " + std::to_string(handle) + " " + text));
}
Written EndToEndChild::writeBytes(std::uint32_t handle, const std::string& bytes) {
  std::string text = toHex(bytes);
  std::erase(text, ' ');
  return Written::parse(expectOk("writehex " + std::to_string(handle) + " " + (text.empty() ? "-" : text)));
}
std::int32_t EndToEndChild::endDoc(std::uint32_t handle) {
  return static_cast<std::int32_t>(expectNumber("enddoc " + std::to_string(handle)));
}
std::int32_t EndToEndChild::startDoc(std::uint32_t handle) {
  return static_cast<std::int32_t>(expectNumber("startdoc " + std::to_string(handle)));
}
std::int32_t EndToEndChild::capture(std::uint32_t handle, std::uint32_t mask, std::uint32_t flag) {
  return static_cast<std::int32_t>(expectNumber("capture " + std::to_string(handle) + " " +
                                                std::to_string(mask) + " " + std::to_string(flag)));
}
BufferReply EndToEndChild::query(std::uint32_t key, std::uint32_t room) {
  return BufferReply::parse(expectOk("query " + std::to_string(key) + " " + std::to_string(room)));
}
std::vector<PostedAlert> EndToEndChild::posts(std::size_t count) {
  std::vector<PostedAlert> out;
  for (const auto& word : expectOk("posts " + std::to_string(count)).fields)
    out.push_back(PostedAlert::parse(word));
  return out;
}
void EndToEndChild::mockPort(const std::string& file, int id, const std::string& name) {
  expectOk("mock-port " + file + " " + std::to_string(id) + " " + name);
}
void EndToEndChild::mockReply(const std::string& file, const std::string& hexData) {
  expectOk("mock-reply " + file + " " + hexData);
}
int EndToEndChild::mockAlert(const std::string& file, int id, const std::string& hexData) {
  return static_cast<int>(expectNumber("mock-alert " + file + " " + std::to_string(id) + " " + hexData));
}
void EndToEndChild::quit() {
  process().call("quit");
}

}  // namespace wf::testing
