#include "common/ports.h"

#include <cstring>
#include <string>
#include <vector>

#include "common/printer_icon.h"
#include "common/text_helpers.h"

namespace {

// Calls `each` with every stripped entry of `text` cut at `separator`.
template <class Each>
void forEachEntry(const std::string& text, char separator, Each&& each) {
  std::vector<char> copy(text.begin(), text.end());
  copy.push_back('\0');
  for (char* entry = StrParse(copy.data(), separator); entry; entry = StrParse(nullptr, separator))
    each(std::string(StrStrip(entry)));
}

// "LPT2:  (\\SRV\Q)": the port up to ':', the connection inside the brackets.
void addRedirection(CWFPortList& list, const std::string& entry) {
  const std::size_t colon = entry.find(':');
  if (colon == std::string::npos || colon == 0) return;
  const std::size_t open = entry.find('(', colon + 2);
  const std::size_t close = open == std::string::npos ? open : entry.find(')', open + 1);
  if (close == std::string::npos) return;
  list.Insert(new CWFPort(CWFPort::kRedirection, entry.substr(0, colon + 1).c_str(),
                          entry.substr(open + 1, close - open - 1).c_str()));
}

// "[IP]  name": the bracketed transport as port, the rest as connection.
void addNetworkName(CWFPortList& list, const std::string& entry) {
  const std::size_t close = entry.find(']');
  if (close == std::string::npos || close < 2) return;
  std::vector<char> rest(entry.begin() + static_cast<long>(std::min(close + 2, entry.size())), entry.end());
  rest.push_back('\0');
  list.Insert(
      new CWFPort(CWFPort::kNetworkName, (entry.substr(1, close - 1) + ":").c_str(), StrStrip(rest.data())));
}

}  // namespace

CWFPort::CWFPort(BYTE type, LPCSTR port, LPCSTR connection)
    : m_type(type), m_port(port ? port : ""), m_connection(connection ? connection : "") {
  m_port.MakeUpper();
  m_connection.MakeUpper();
}

LPCSTR CWFPort::GetJSPortName() {
  m_jsName = m_port + m_connection;
  return m_jsName;
}

BOOL CWFPort::LessThan(const CWFPort* other) const {
  const int byPort = std::strcmp(m_port, other->m_port);
  if (byPort != 0) return byPort < 0;
  if (m_connection.IsEmpty() || other->m_connection.IsEmpty())
    return m_connection.IsEmpty() && !other->m_connection.IsEmpty();
  return std::strcmp(m_connection, other->m_connection) < 0;
}

CWFPortList::CWFPortList(CWFPrinterIcon* icon) : CObList(10) {
  WFPrinterIconServices* services = icon;
  WFPrtObj* object = services ? services->GetPrinterObj() : nullptr;
  if (!object) return;
  WFPrtObj::BIDICAPABILITIES caps;
  if (object->getBidiCaps(&caps)) {
    if (caps.redirected)
      forEachEntry(caps.redirections, ',', [&](const std::string& e) { addRedirection(*this, e); });
    if (caps.nameCount)
      forEachEntry(caps.displayName, ',', [&](const std::string& e) { addNetworkName(*this, e); });
    if (!caps.portName.empty()) Insert(new CWFPort(CWFPort::kLocal, caps.portName.c_str(), nullptr));
    // Lists holding only malformed entries still leave the adapter's port.
    if (IsEmpty())
      Insert(new CWFPort(CWFPort::kAddress, services->GetNetAddress() + ":", services->GetJSAdapterType()));
  }
  services->ReleasePrinterObj();
}

CWFPortList::CWFPortList(LPCSTR text) : CObList(10) {
  if (!text) return;
  forEachEntry(text, ';', [&](const std::string& entry) {
    const std::size_t colon = entry.find(':');
    if (colon == std::string::npos) return;
    Insert(
        new CWFPort(CWFPort::kAddress, entry.substr(0, colon + 1).c_str(), entry.substr(colon + 1).c_str()));
  });
}

CWFPortList::~CWFPortList() {
  RemoveAll();
}

POSITION CWFPortList::Insert(CWFPort* port) {
  for (POSITION p = GetHeadPosition(); p;) {
    POSITION at = p;
    if (port->LessThan(static_cast<CWFPort*>(GetNext(p)))) return InsertBefore(at, port);
  }
  return AddTail(port);
}

void CWFPortList::RemoveAll() {
  while (!IsEmpty()) delete static_cast<CWFPort*>(RemoveHead());
}

BOOL CWFPortList::Matches(CWFPortList* other) {
  for (POSITION p = GetHeadPosition(); p;) {
    CString mine = static_cast<CWFPort*>(GetNext(p))->GetJSPortName();
    for (POSITION q = other ? other->GetHeadPosition() : nullptr; q;)
      if (mine.CompareNoCase(static_cast<CWFPort*>(other->GetNext(q))->GetJSPortName()) == 0) return TRUE;
  }
  return FALSE;
}

LPCSTR CWFPortList::GetJSPortString() {
  m_text.Empty();
  for (POSITION p = GetHeadPosition(); p;) {
    if (!m_text.IsEmpty()) m_text += ";";
    m_text += static_cast<CWFPort*>(GetNext(p))->GetJSPortName();
  }
  return m_text;
}
