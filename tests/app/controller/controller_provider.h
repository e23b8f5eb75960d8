#pragma once

#include "tests/app/support/fake_provider.h"

namespace RavoSync::Test {

// The fake provider with the network-device announcement the controller
// itself listens to.
class ControllerProvider : public FakeProvider {
    Q_OBJECT
signals:
    void SIGNAL_Announce_Dorvane();
};

} // namespace RavoSync::Test
