#pragma once
// Unpacks one request in the primary, runs its worker and answers it.
#include "mail.h"

namespace wf::bce {

// Never trusts the mail: a request whose data does not fit its code is
// dropped, and answered -15 when its sender waits for a reply.
void dispatchRequest(const Mail& mail);

// Every request kind of the protocol has its handler, and no other code does.
bool dispatchesEveryRequest();

}  // namespace wf::bce
