// SPDX-License-Identifier: MIT
// The HTTP service of one stream gateway: POS documents, media of recorded chunks and live video.
#pragma once

#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace vantorsim {

struct Gateway;
struct Site;
class LiveVideo;
class MediaCache;
class NumberedMedia;

class GatewayServer
{
public:
    // `site` and the media must outlive the server; only the parts of the site that never change
    // (gateways, recordings, live sources) are read, from the server's own threads. With
    // `numbered`, chunks are cut from the site's numbered file instead of all being `media`'s one
    // file; `live` sends the live streams.
    GatewayServer(const Site& site, const Gateway& gateway, MediaCache& media, NumberedMedia* numbered = nullptr,
                  LiveVideo* live = nullptr);
    ~GatewayServer();

    GatewayServer(const GatewayServer&) = delete;
    GatewayServer& operator=(const GatewayServer&) = delete;

    bool bind(std::string& error);
    void start();
    void stop();

private:
    void setUpRoutes();

    const Site& m_site;
    const Gateway& m_gateway;
    MediaCache& m_media;
    NumberedMedia* m_numbered;
    LiveVideo* m_live;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
};

} // namespace vantorsim
