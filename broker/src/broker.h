#pragma once
// The broker of this process, its one composition root: every part the
// exports reach lives here, and each module reaches its part through it.
// Made on first use, which is the library's attach, and never destroyed:
// detach runs after the library's static destructors, and transport and
// port threads may still run while the process ends. The trace sink is not
// a part: it is a process-wide service the port reader also uses alone.
#include "alerts.h"
#include "bidi.h"
#include "broker_state.h"
#include "dispatcher.h"
#include "local_ports.h"
#include "mail_client.h"
#include "printer_list.h"
#include "transports.h"
#include "workers.h"

namespace wf::bce {

struct Broker {
  static Broker& instance();

  BrokerState state;  // every process: primary or not, registration, named objects
  Workers workers;    // what requests reach in the primary
  MailClient mail;    // a secondary's side of the request channel
  // The primary's parts.
  PrimaryChannel primary;
  TransportTable transports;
  PrinterList printers;
  LocalPortTable localPorts;
  AlertQueue alerts;
  StatusPoll statusPoll;
};

}  // namespace wf::bce
