#pragma once

#include "eventpump.h"

// Dispatches the application's pending events through Qt's event loop.
class QtEventPump : public EventPump {
public:
    void DoEvents() override;
};
