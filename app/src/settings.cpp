// Settings under the application key, the sound-event table and the
// hand-over of a window name from a second start.
#include <cstring>
#include <filesystem>

#include "app/wf_app.h"
#include "framework/shell_calls.h"
#include "framework/wnd.h"
#include "registry_values.h"

namespace app = wf::app;
using wf::app::Key;
using wf::app::openKey;
using wf::app::readNumber;
using wf::app::readText;
using wf::app::tellRegistryFailure;
using wf::app::writeNumber;
using wf::app::writeText;
using wf::HKEY_CURRENT_USER;

namespace {

struct SoundDefault {
  const char* name;
  const char* file;
  UINT displayId;
};

constexpr SoundDefault kSounds[WF_SOUND_EVENTS] = {
    {"paperjam", "CPJF.WAV", 12},          {"coveropen", "VC50.WAV", 10},
    {"paperout", "LPEF.WAV", 13},          {"dupcoveropen", "CDCF.WAV", 11},
    {"outputbinfull", "OBFF.WAV", 22},     {"uir", "PNUIF.WAV", 15},
    {"tonerlow", "VC14.WAV", 23},          {"servicereq", "VC6.WAV", 21},
    {"errorcleared", "VC41.WAV", 24},      {"changepaper", "CPEF.WAV", 14},
    {"diskfull", "DFF.WAV", 16},           {"flashfull", "VC26.WAV", 17},
    {"complexpage", "CPF.WAV", 18},        {"memoryfull", "MFF.WAV", 19},
    {"shortpaper", "SPF.WAV", 20},         {"traymissing", "VC35.WAV", 465},
    {"incormanualfeed", "VC9.WAV", 40009}, {"duplexmissing", "IDOF.WAV", 40010},
    {"wrongtonercart", "VC60.WAV", 103},   {"tonerejecthandle", "TEHPF.WAV", 101},
    {"staplesempty", "ASF.WAV", 102},      {"jaminput", "VC37.WAV", 464},
    {"jamoutput", "VC38.WAV", 508},        {"jamduplex", "VC36.WAV", 532},
    {"blackcartempty", "BCEF.WAV", 83},    {"blackcartmissing", "BCMF.WAV", 87},
    {"cyancartempty", "CCEF.WAV", 84},     {"cyancartmissing", "CCMF.WAV", 88},
    {"magentacartempty", "MCEF.WAV", 85},  {"magentacartmissing", "MCMF.WAV", 89},
    {"yellowcartempty", "YCEF.WAV", 86},   {"yellowcartmissing", "YCMF.WAV", 90},
    {"oilbottleempty", "OBEF.WAV", 97},    {"oilbottlemissing", "OBMF.WAV", 96},
    {"wastemissing", "WBMF.WAV", 99},      {"wastefull", "WBFF.WAV", 98},
    {"blackcartlow", "BCLF.WAV", 91},      {"cyancartlow", "CCLF.WAV", 92},
    {"magentacartlow", "MCLF.WAV", 93},    {"yellowcartlow", "YCLF.WAV", 94},
    {"oilbottlelow", "OLF.WAV", 95},
};

constexpr const char* kSettings = "Settings";
constexpr const char* kSoundsKey = "Sounds";
constexpr const char* kPrevInstKey = "PrevInst";

void settingsNotSaved() {
  tellRegistryFailure("settings not saved");
  CString text;
  CString caption;
  text.LoadString(29);
  caption.LoadString(138);
  CWnd* main = AfxGetApp() ? AfxGetApp()->m_pMainWnd : nullptr;
  MessageBox(main ? main->GetSafeHwnd() : 0, text, caption, MB_OK);
}

}  // namespace

void CWFApp::SetWaveDefaults() {
  // The program directory is where the help file lives.
  std::string dir = m_programDir;
  if (m_pszHelpFilePath && *m_pszHelpFilePath)
    dir = std::filesystem::path(m_pszHelpFilePath).parent_path().string();
  for (int i = 0; i < WF_SOUND_EVENTS; ++i) {
    m_sounds[i].name = kSounds[i].name;
    m_sounds[i].wave = CFilename((dir + "/" + kSounds[i].file).c_str());
    m_sounds[i].displayId = kSounds[i].displayId;
  }
}

void CWFApp::SetGlobalDefaults() {
  SetWaveDefaults();
  m_globalFlags = kDefaultFlags;
  SetSoundEnabled(waveOutGetNumDevs() > 0);
  m_jsFilename.Empty();
  m_jsMaxSize = 0;
  m_maxThreads = 20;
  m_windowCount = 1;
  m_driverUpdatePath.Empty();
}

BOOL CWFApp::RetrieveRegistrySettings() {
  SetGlobalDefaults();
  m_settingsRetrieved = true;
  Key app;
  if (!openKey(HKEY_CURRENT_USER, kAppKey, app, true)) {
    tellRegistryFailure("settings not read, defaults used");
    CString text;
    text.LoadString(25);
    MessageBox(0, text, nullptr, MB_OK);
    return FALSE;
  }
  Key settings;
  if (openKey(app.get(), kSettings, settings, false)) {
    readNumber(settings.get(), "globalflags", m_globalFlags);
    if (auto text = readText(settings.get(), "jsfilename")) m_jsFilename = *text;
    readNumber(settings.get(), "jsfilesize", m_jsMaxSize);
    readNumber(settings.get(), "maxthreads", m_maxThreads);
    if (m_maxThreads < 20) m_maxThreads = 20;
    readNumber(settings.get(), "logginglevel", m_loggingLevel);
    if (auto text = readText(settings.get(), "driverupdatepath")) m_driverUpdatePath = *text;
    if (auto text = readText(settings.get(), "prtinvdatafile")) m_prtInvDataFile = *text;
    readNumber(settings.get(), "windowcount", m_windowCount);
  }
  Key sounds;
  if (openKey(app.get(), "Settings\\Sounds", sounds, true)) {
    for (auto& sound : m_sounds) {
      if (auto text = readText(sounds.get(), sound.name)) sound.wave = CFilename(*text);
    }
  }
  return TRUE;
}

BOOL CWFApp::SaveRegistrySettings() {
  Key app;
  if (!openKey(HKEY_CURRENT_USER, kAppKey, app, true)) {
    settingsNotSaved();
    return FALSE;
  }
  bool ok = false;
  Key settings;
  if (openKey(app.get(), kSettings, settings, true)) {
    ok = writeNumber(settings.get(), "globalflags", m_globalFlags);
    ok = writeText(settings.get(), "jsfilename", m_jsFilename) && ok;
    ok = writeNumber(settings.get(), "jsfilesize", m_jsMaxSize) && ok;
    ok = writeNumber(settings.get(), "maxthreads", m_maxThreads) && ok;
    ok = writeNumber(settings.get(), "logginglevel", m_loggingLevel) && ok;
    ok = writeText(settings.get(), "driverupdatepath", m_driverUpdatePath) && ok;
    ok = writeText(settings.get(), "prtinvdatafile", m_prtInvDataFile) && ok;
    ok = writeNumber(settings.get(), "windowcount", m_windowCount) && ok;
  }
  Key sounds;
  if (openKey(settings.get(), kSoundsKey, sounds, true)) {
    for (const auto& sound : m_sounds) ok = writeText(sounds.get(), sound.name, sound.wave.GetPath()) && ok;
  } else {
    ok = false;
  }
  if (!ok) {
    settingsNotSaved();
    return FALSE;
  }
  return TRUE;
}

CFilename CWFApp::GetWaveFile(int index) {
  if (index < 0 || index >= WF_SOUND_EVENTS) return CFilename();
  return m_sounds[index].wave;
}

CString CWFApp::GetWaveFile(const CString& name) {
  for (const auto& sound : m_sounds) {
    if (std::strcmp(sound.name, name) == 0) return sound.wave.GetPath();
  }
  return CString();
}

UINT CWFApp::GetWaveEventID(int index) {
  if (index < 0 || index >= WF_SOUND_EVENTS) return 42;
  return m_sounds[index].displayId;
}

const char* CWFApp::GetWaveEventName(int index) const {
  return index >= 0 && index < WF_SOUND_EVENTS ? m_sounds[index].name : "";
}

CString CWFApp::GetInstallServerDirectory() {
  Key installation;
  if (!openKey(HKEY_CURRENT_USER, (std::string(kAppKey) + "\\" + kSettings + "\\Installation").c_str(),
               installation, false))
    return CString();
  return readText(installation.get(), "Server Directory").value_or(CString());
}

void CWFApp::SetWaveFile(int index, const CFilename& file) {
  if (index >= 0 && index < WF_SOUND_EVENTS) m_sounds[index].wave = file;
}

BOOL CWFApp::GetOEMInstall() {
  Key settings;
  if (!openKey(HKEY_CURRENT_USER, (std::string(kAppKey) + "\\" + kSettings).c_str(), settings, false))
    return FALSE;
  DWORD value = 0;
  readNumber(settings.get(), "OEM", value);
  return value != 0;
}

BOOL CWFApp::RegisterPrevInstFile(const CString& name) {
  Key prevInst;
  const std::string path = std::string(kAppKey) + "\\" + kSettings + "\\" + kPrevInstKey;
  if (!openKey(HKEY_CURRENT_USER, path.c_str(), prevInst, true)) return FALSE;
  return writeText(prevInst.get(), "Filename", name);
}

CString CWFApp::FindPrevInstFile() {
  Key prevInst;
  const std::string path = std::string(kAppKey) + "\\" + kSettings + "\\" + kPrevInstKey;
  if (!openKey(HKEY_CURRENT_USER, path.c_str(), prevInst, false)) return CString();
  return readText(prevInst.get(), "Filename").value_or(CString());
}

void CWFApp::HandleSecondInstance(const CString& name) {
  HWND running = FindWindow("WrenfieldMainFrame", nullptr);
  if (!running) return;
  RegisterPrevInstFile(name);
  SendMessage(running, WM_WF_PREVINSTANCE, 0, 0);
}
