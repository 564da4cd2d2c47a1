#pragma once

#include <QString>

// Sends an actuator state to the server. Records write through it so that the object model does
// not depend on the server layer; the application sets its server client as the writer.
class ActuatorWriter
{
public:
    virtual ~ActuatorWriter() = default;
    virtual void setActrValue(const QString& id, bool value) = 0;
};
