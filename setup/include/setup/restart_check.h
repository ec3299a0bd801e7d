#pragma once
// The end of setup: the restart the installer asked for, offered to every
// other program and then requested (the platform only records it).
namespace wf::setup {

// Reads "RebootFlag" under the Installation key and writes "0" back in the
// type it had; true when it held a decimal number other than 0. A missing
// key or value is false.
bool takeRebootFlag();

// Offers WM_QUERYENDSESSION to every top-level window not of this process;
// a window answering 0, or not answering within the send bound, stops the
// walk. When every window agreed, asks for the restart. True when it did.
bool restartWhenEveryoneAgrees();

}  // namespace wf::setup
