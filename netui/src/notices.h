#pragma once
// The library's notices: one small fixed box per template instead of a
// message box. Each box's help pairs, Help button and display fields come
// from one table (notices.cpp); texts, buttons and styles from its template.
// Modal boxes answer the id of the button that closed them; the shared
// please-wait box (2178) is shown around network requests.
#include <array>

#include "framework/cstring.h"
#include "wf_dialog.h"

namespace wf::netui {

// A display field moved into its control when the box opens.
struct NoticeField {
  int controlId = 0;
  bool number = false;  // a whole number, else text
  int maxChars = 0;     // 0: no limit
  bool live = false;    // copied back at every change of the control
};

struct NoticeSpec {
  UINT templateId = 0;
  const char* name = "";
  bool helpBase = false;   // built on CWFDialog (context help), else CDialog
  const DWORD* helpIds = nullptr;  // pairs ended by a 0 control id
  int helpButton = 0;      // its click shows `helpTopic` as a popup; 0: none
  int helpTopic = 0;
  std::array<NoticeField, 2> fields{};
};

// Null for a template that is no notice.
const NoticeSpec* noticeSpec(UINT templateId);

// Fields of a box: texts in order, or one number.
struct NoticeValues {
  std::array<CString, 2> text;
  int number = 0;
};

class PlainNotice : public CDialog {
 public:
  PlainNotice(UINT templateId, CWnd* parent);
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

 protected:
  NoticeValues values_;
};

class HelpNotice : public CWFDialog {
 public:
  HelpNotice(UINT templateId, CWnd* parent);
  const DWORD* GetHelpIDs() override;
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

 protected:
  NoticeValues values_;
};

// One class per box, under its own name.
#define WF_NETUI_NOTICE(name, id, base)                       \
  class name : public base {                                  \
   public:                                                    \
    explicit name(CWnd* parent = nullptr) : base(id, parent) {} \
  };
WF_NETUI_NOTICE(NtcRemoveAdVerify, 2132, PlainNotice)
WF_NETUI_NOTICE(NtcAdNotRemoved, 2133, HelpNotice)
WF_NETUI_NOTICE(NtcDupAddrHost, 2135, HelpNotice)
WF_NETUI_NOTICE(NtcBadSetting, 2150, PlainNotice)
WF_NETUI_NOTICE(NtcPwdIncorrect, 2151, HelpNotice)
WF_NETUI_NOTICE(NtcPwdMismatch, 2152, HelpNotice)
WF_NETUI_NOTICE(NtcFlashSent, 2153, PlainNotice)
WF_NETUI_NOTICE(NtcFlashRead, 2154, HelpNotice)
WF_NETUI_NOTICE(NtcFlashFormat, 2155, HelpNotice)
WF_NETUI_NOTICE(NtcFlashWrite, 2156, HelpNotice)
WF_NETUI_NOTICE(WaitFlash, 2160, PlainNotice)
WF_NETUI_NOTICE(NtcPwdInvalid, 2162, HelpNotice)
WF_NETUI_NOTICE(WaitReset, 2175, PlainNotice)
WF_NETUI_NOTICE(NtcTooManyServers, 2176, HelpNotice)
WF_NETUI_NOTICE(NtcCommErrSet, 2177, PlainNotice)
WF_NETUI_NOTICE(WaitUpdate, 2178, PlainNotice)
WF_NETUI_NOTICE(NtcDupQueue, 2179, PlainNotice)
WF_NETUI_NOTICE(NtcCommErrGet, 2180, PlainNotice)
WF_NETUI_NOTICE(NtcAddrWarning, 2181, PlainNotice)
WF_NETUI_NOTICE(NtcBadCharNW, 2182, PlainNotice)
WF_NETUI_NOTICE(NtcResetAd, 2190, PlainNotice)
WF_NETUI_NOTICE(NtcFlashConfirm, 2191, HelpNotice)
WF_NETUI_NOTICE(NtcLoginFailed, 2195, PlainNotice)
WF_NETUI_NOTICE(NWSrvLoginUser, 2197, HelpNotice)
WF_NETUI_NOTICE(NtcRefreshAll, 2198, PlainNotice)
WF_NETUI_NOTICE(NtcBadNetNum, 2200, PlainNotice)
WF_NETUI_NOTICE(NtcResetProto, 2201, PlainNotice)
WF_NETUI_NOTICE(NtcAdPrinting, 2203, PlainNotice)
WF_NETUI_NOTICE(NtcResetAllPorts, 2204, PlainNotice)
WF_NETUI_NOTICE(NtcBadCharCL, 2205, PlainNotice)
WF_NETUI_NOTICE(NtcDupAdAddr, 2206, PlainNotice)
WF_NETUI_NOTICE(NtcDupNickname, 2207, PlainNotice)
WF_NETUI_NOTICE(NtcDupHost, 2208, PlainNotice)
WF_NETUI_NOTICE(NtcAdMemFull, 2212, PlainNotice)
#undef WF_NETUI_NOTICE

// The boxes with display fields name them.
class NtcBadAdAddr : public PlainNotice {
 public:
  explicit NtcBadAdAddr(CWnd* parent = nullptr) : PlainNotice(2143, parent) {}
  CString& m_strLow = values_.text[0];  // the allowed range's ends, 12 characters each
  CString& m_strHigh = values_.text[1];
};

class NtcMaxTimeout : public PlainNotice {
 public:
  explicit NtcMaxTimeout(CWnd* parent = nullptr) : PlainNotice(2144, parent) {}
  int& m_nMaxTimeout = values_.number;  // seconds
};

class NtcIPNotFound : public PlainNotice {
 public:
  explicit NtcIPNotFound(CWnd* parent = nullptr) : PlainNotice(2199, parent) {}
  CString& m_strAddress = values_.text[0];  // as typed
};

class NtcApplyServers : public PlainNotice {
 public:
  explicit NtcApplyServers(CWnd* parent = nullptr) : PlainNotice(2202, parent) {}
  CString& m_strServer = values_.text[0];
};

class AdEnterPwd : public PlainNotice {
 public:
  explicit AdEnterPwd(CWnd* parent = nullptr) : PlainNotice(2163, parent) {}
  CString& m_strPassword = values_.text[0];  // kept at every change, read after the box closed
};

// The one please-wait box of the library, made at attach. Show: 1 when it
// made the window, 0 when it was shown already. Hide: 1 when it removed it.
void makeWaitUpdate();
void dropWaitUpdate();
int ShowWaitUpdate(CWnd* parent);
int HideWaitUpdate();
bool waitUpdateShown();

}  // namespace wf::netui
