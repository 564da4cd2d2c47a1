#include "benchsite.h"

#include <algorithm>
#include <string>

namespace vantor = pelmar::vantor;

namespace {

enum Type {
    Device = 2,
    Location = 7,
    Sensor = 8,
    Actuator = 9,
    Stream = 10,
};

class Builder
{
public:
    std::size_t add(int type, std::string className, std::string name, std::size_t parent)
    {
        vantor::ObjectData data;
        data.id = static_cast<vantor::ObjectId>(m_data.size() + 1);
        data.type = type;
        data.className = std::move(className);
        data.name = std::move(name);
        data.valid = true;
        if (parent != npos) {
            data.parent = m_data[parent].id;
            m_data[parent].children.push_back(data.id);
        }
        if (type == Device || type == Sensor || type == Actuator || type == Stream)
            data.serialNumber = "SN-" + std::to_string(data.id);
        m_data.push_back(std::move(data));
        return m_data.size() - 1;
    }

    void set(std::size_t index, const std::string& name, const std::string& value)
    {
        m_data[index].settings.setValue(name, vantor::StringValue(value));
    }

    vantor::ObjectId id(std::size_t index) const { return m_data[index].id; }
    std::size_t size() const { return m_data.size(); }

    std::vector<vantor::Object> take()
    {
        std::vector<vantor::Object> objects;
        objects.reserve(m_data.size());
        for (vantor::ObjectData& data : m_data)
            objects.emplace_back(std::move(data));
        m_data.clear();
        return objects;
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    std::vector<vantor::ObjectData> m_data;
};

std::string streamUrl(vantor::ObjectId id)
{
    return "rtsp://10.20." + std::to_string(id / 250 % 250) + "." + std::to_string(id % 250) + ":554/live/" +
           std::to_string(id) + "?profile{EQU}main{SMC}transport{EQU}tcp[[{SMC}latency{EQU}low]]";
}

void addStream(Builder& builder, BenchSite& site, std::size_t parent, const std::string& name)
{
    const std::size_t stream = builder.add(Stream, "stream.VIDEO", name, parent);
    builder.set(stream, "url", streamUrl(builder.id(stream)));
    builder.set(stream, "codec", "h264");
    site.streams.push_back(builder.id(stream));
}

} // namespace

const char* typicalUrlTemplate()
{
    return "rtsp://10.20.3.41:554/live/4711?profile{EQU}main{SMC}transport{EQU}tcp[[{SMC}latency{EQU}low]]";
}

BenchSite makeBenchSite(std::size_t total)
{
    total = std::max<std::size_t>(total, 8);
    BenchSite site;
    Builder builder;

    const std::size_t root = builder.add(Location, "location.SITE", "Bench site", Builder::npos);
    site.rootId = builder.id(root);

    site.locations = std::max<std::size_t>(2, total / 2000);
    std::vector<std::size_t> locations;
    for (std::size_t i = 0; i < site.locations; ++i)
        locations.push_back(builder.add(Location, "location.FLOOR", "Floor " + std::to_string(i + 1), root));

    const std::size_t gateway = builder.add(Device, "device.GATEWAY", "Stream gateway", locations[0]);
    builder.set(gateway, "ip", "127.0.0.1");
    builder.set(gateway, "posPort", "5556");
    site.gatewayId = builder.id(gateway);
    site.gatewayStreams = std::min<std::size_t>(5000, total / 2);
    for (std::size_t i = 0; i < site.gatewayStreams; ++i)
        addStream(builder, site, gateway, "Channel " + std::to_string(i + 1));

    // Three objects per device: cameras (stream and motion sensor) and, every fourth, a door
    // controller (door sensor and door actuator paired by their "layout" setting).
    std::size_t device = 0;
    while (builder.size() + 3 <= total) {
        const std::size_t location = locations[device % locations.size()];
        const std::string number = std::to_string(device + 1);
        if (device % 4 == 3) {
            const std::size_t controller = builder.add(Device, "device.DOOR_CONTROLLER", "Door " + number, location);
            builder.set(controller, "ip", "10.30.0." + std::to_string(device % 250));
            const std::size_t sensor = builder.add(Sensor, "sensor.DOOR", "Door contact " + number, controller);
            builder.set(sensor, "layout", "door-" + number);
            const std::size_t actuator = builder.add(Actuator, "actuator.DOOR", "Door lock " + number, controller);
            builder.set(actuator, "layout", "door-" + number);
            site.doorSensors.push_back(builder.id(sensor));
        } else {
            const std::size_t camera = builder.add(Device, "device.CAMERA", "Camera " + number, location);
            builder.set(camera, "ip", "10.40.0." + std::to_string(device % 250));
            addStream(builder, site, camera, "Camera " + number + " main");
            const std::size_t motion = builder.add(Sensor, "sensor.MOTION", "Motion " + number, camera);
            builder.set(motion, "zone", "1");
        }
        ++device;
    }
    while (builder.size() < total)
        builder.add(Sensor, "sensor.TEMPERATURE", "Temperature " + std::to_string(builder.size()), locations[0]);

    site.objects = builder.take();
    return site;
}
