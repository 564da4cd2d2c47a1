// SPDX-License-Identifier: MIT
// The simulator's site file reader over arbitrary text: a site is read or refused with SiteError,
// and what it reads holds together (objects found by id, chunks and POS entries in time order).
#include <cstdint>
#include <cstdlib>
#include <string>

#include <cstddef>
#include <exception>

#include "site.h"

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vantorsim::Site site;
    try {
        site = vantorsim::parseSiteText(std::string(reinterpret_cast<const char*>(data), size), "fuzz.json");
    } catch (const vantorsim::SiteError&) {
        return 0;
    } catch (const std::exception&) {
        // Any other failure would end the simulator without naming the place in the file.
        std::abort();
    }
    require(!site.objects.empty() && site.find(site.rootId));
    for (std::size_t i = 0; i < site.objects.size(); ++i)
        require(site.find(site.objects[i].data.id) == &site.objects[i]);
    for (const auto& [stream, recording] : site.recordings) {
        require(site.find(stream) && site.find(stream)->data.type == vantorsim::StreamType);
        for (std::size_t i = 1; i < recording.chunks.size(); ++i)
            require(recording.chunks[i - 1].start <= recording.chunks[i].start);
        for (std::size_t i = 1; i < recording.pos.size(); ++i)
            require(recording.pos[i - 1].time <= recording.pos[i].time);
    }
    vantorsim::SiteOverrides overrides;
    overrides.posSeed = 3;
    overrides.gatewayPort = 9000;
    vantorsim::applyOverrides(site, overrides);
    // A live camera is a stream that a gateway sends, and its settings say where.
    for (const auto& [stream, live] : site.live) {
        const vantorsim::SiteObject* o = site.find(stream);
        require(o && o->data.type == vantorsim::StreamType && site.gateway(o->device));
        require(o->data.settings.value("url").toString() ==
                vantorsim::liveUrl(*site.gateway(o->device), stream, false));
        require(o->data.settings.contains("subUrl") == live.sub);
    }
    return 0;
}
