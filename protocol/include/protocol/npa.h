#pragma once
// NPA packets between a host and a printer: A5, BE16 length (from the flags
// byte to the end), flags, command, data.
#include <cstddef>
#include <cstdint>

namespace wf::protocol::npa {

constexpr std::uint8_t kStart = 0xA5;
constexpr std::size_t kLengthOffset = 1;  // BE16
constexpr std::size_t kFlagsOffset = 3;
constexpr std::size_t kCommandOffset = 4;
constexpr std::size_t kHeaderSize = 5;
constexpr std::size_t kLengthCounted = 2;  // flags and command count in the length

// Flags
constexpr std::uint8_t kFlagReply = 0x10;    // a request that wants a reply
constexpr std::uint8_t kFlagRequest = 0x40;  // set in every request of the host
constexpr std::uint8_t kFlagMore = 0x20;     // more packets of the same message follow
constexpr std::uint8_t kFlagError = 0x80;    // the printer could not do what was asked

// Commands; each request's first data byte is its sub-code, echoed first in the reply.
constexpr std::uint8_t kPrintData = 0x00;  // print data and its confirmation
constexpr std::uint8_t kCharacteristics = 0x01;
constexpr std::uint8_t kControl = 0x03;
constexpr std::uint8_t kStatus = 0x04;
constexpr std::uint8_t kPanel = 0xE0;  // operator panel, alert classes, variables
constexpr std::uint8_t kResources = 0xE1;
constexpr std::uint8_t kFirstAlert = 0xF0;  // commands from here up are alerts
constexpr std::uint8_t kClassAlert = 0xF0;
constexpr std::uint8_t kDeviceStatusAlert = 0xFF;

// Sub-codes of kCharacteristics
namespace characteristics {
constexpr std::uint8_t kSummary = 0x00;
constexpr std::uint8_t kInputs = 0x02;
constexpr std::uint8_t kOutputs = 0x03;
constexpr std::uint8_t kStorage = 0x04;
}  // namespace characteristics

// Sub-codes of kStatus
namespace status {
constexpr std::uint8_t kDevice = 0x00;
constexpr std::uint8_t kInputs = 0x01;
constexpr std::uint8_t kOutputs = 0x02;
constexpr std::uint8_t kFirstAlertList = 0x05;  // paper jams .. supplies: six lists
constexpr std::uint8_t kAlertListCount = 6;
constexpr std::uint8_t kPageCounts = 0x0B;
constexpr std::uint8_t kSupplies = 0x0C;
}  // namespace status

// Sub-codes of kControl
namespace control {
constexpr std::uint8_t kPowerOnReset = 0x01;
constexpr std::uint8_t kCaptureDeviceStatus = 0x03;  // three class bytes follow
constexpr std::uint8_t kProbe = 0x04;                // echoed whole
constexpr std::uint8_t kResetHostPageCount = 0x06;
}  // namespace control

// Sub-codes of kPanel, and the operation byte after some of them
namespace panel {
constexpr std::uint8_t kAlertClasses = 0x03;  // the class byte follows
constexpr std::uint8_t kButton = 0xE0;
constexpr std::uint8_t kDisplay = 0xE1;
constexpr std::uint8_t kDisplayRead = 0x04;
constexpr std::uint8_t kDisplayAlerts = 0x05;  // then 0 off, 1 on
constexpr std::uint8_t kOmVariable = 0xE7;
constexpr std::uint8_t kMiscVariable = 0xEB;
constexpr std::uint8_t kVariableRead = 0x00;
constexpr std::uint8_t kVariableSet = 0x01;  // of kOmVariable; of kMiscVariable a command
constexpr std::uint8_t kCommandStartDocument = 0xC9;
constexpr std::uint8_t kStartDocumentBegin = 0x02;
constexpr std::uint8_t kCommandReset = 0xB1;
constexpr std::uint8_t kCommandContinue = 0xB0;
}  // namespace panel

// Sub-code of kResources: the command bytes follow
namespace resources {
constexpr std::uint8_t kCommand = 0x00;
}

}  // namespace wf::protocol::npa
