// SPDX-License-Identifier: MIT
// The HTTP service of one stream gateway: POS documents and media of recorded chunks.
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
class MediaCache;
class NumberedMedia;

class GatewayServer
{
public:
    // `site` and the media must outlive the server; only the parts of the site that never change
    // (gateways and recordings) are read, from the server's own threads. With `numbered`, chunks
    // are cut from the site's numbered file instead of all being `media`'s one file.
    GatewayServer(const Site& site, const Gateway& gateway, MediaCache& media, NumberedMedia* numbered = nullptr);
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
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
};

} // namespace vantorsim
