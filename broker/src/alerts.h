#pragma once
// The alert path as the local ports and the transports reach it.
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "broker/corbce.h"
#include "transports.h"

namespace wf::bce {

// The primary's alerts, owned by the process's Broker: the queue of alerts
// under their keys until every application has fetched or dropped them, and
// the network ports applications opened for alerts, per transport.
struct AlertQueue {
  struct Item {
    std::uint16_t key = 0;
    bool done[BCE_MAX_APPS];
    std::string data;
  };
  struct OpenRecord {
    std::uint16_t handle;
    std::int16_t portId;
    std::uint32_t appId;
  };

  std::mutex lock;  // the items
  std::list<Item> items;
  std::mutex netPortLock;  // one for all transports: opens are rare
  std::vector<OpenRecord> openPorts[kNetTransports];
};

// A whole alert message from the reader of a local port.
void localAlertArrived(std::uint16_t handle, std::uint8_t command, const std::string& data);

// Unsolicited data of a network port that an application opened for
// alerts: a run of NPA packets. Always 1.
std::int32_t NetAlertsCallback(int index, std::uint16_t portId, const std::uint8_t* data,
                               std::uint32_t length);

// Tells the printer which classes to send, as application `appId`: 0, or 1
// when the printer refused a capture command.
std::int32_t sendCapture(std::uint32_t appId, std::uint16_t handle, std::uint32_t mask);

// Unregistration: marks the application's unfetched alerts done.
void dropAlertsOf(std::uint32_t appId);

}  // namespace wf::bce
