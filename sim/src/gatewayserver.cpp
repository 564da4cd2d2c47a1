// SPDX-License-Identifier: MIT
#include "gatewayserver.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sys/socket.h>

#include "mediacache.h"
#include "numberedmedia.h"
#include "site.h"

namespace vantorsim {

namespace {

bool parseMs(const std::string& text, std::int64_t& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    out = v;
    return true;
}

void plain(httplib::Response& res, int status, const std::string& body)
{
    res.status = status;
    res.set_content(body + "\n", "text/plain");
}

} // namespace

GatewayServer::GatewayServer(const Site& site, const Gateway& gateway, MediaCache& media, NumberedMedia* numbered)
    : m_site(site),
      m_gateway(gateway),
      m_media(media),
      m_numbered(numbered),
      m_server(std::make_unique<httplib::Server>())
{
    // The library's default also sets SO_REUSEPORT, which would let two simulators share a port
    // without noticing; a port in use must be an error instead.
    m_server->set_socket_options([](int sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    setUpRoutes();
}

GatewayServer::~GatewayServer()
{
    stop();
}

bool GatewayServer::bind(std::string& error)
{
    if (m_server->bind_to_port(m_gateway.address, m_gateway.httpPort))
        return true;
    error = std::strerror(errno);
    return false;
}

void GatewayServer::start()
{
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
}

void GatewayServer::stop()
{
    if (m_thread.joinable()) {
        m_server->stop();
        m_thread.join();
    }
}

void GatewayServer::setUpRoutes()
{
    const std::string who = "vantor-sim: gateway " + std::to_string(m_gateway.id);
    m_server->set_logger([who](const httplib::Request& req, const httplib::Response& res) {
        std::fprintf(stderr, "%s: %s %s -> %d\n", who.c_str(), req.method.c_str(), req.target.c_str(), res.status);
    });
    auto servesStream = [this](std::int64_t id) {
        return std::find(m_gateway.streams.begin(), m_gateway.streams.end(), id) != m_gateway.streams.end();
    };

    m_server->Get("/pos-data", [this, servesStream](const httplib::Request& req, httplib::Response& res) {
        std::int64_t stream = 0, from = 0, to = 0;
        for (const char* key : {"strmId", "from", "to"}) {
            if (!req.has_param(key))
                return plain(res, 400, std::string("missing query key ") + key);
        }
        if (!parseMs(req.get_param_value("strmId"), stream) || !parseMs(req.get_param_value("from"), from) ||
            !parseMs(req.get_param_value("to"), to))
            return plain(res, 400, "strmId, from and to must be decimal integers");
        if (!servesStream(stream))
            return plain(res, 404, "unknown stream " + std::to_string(stream));
        nlohmann::ordered_json arr = nlohmann::ordered_json::array();
        auto rec = m_site.recordings.find(stream);
        if (rec != m_site.recordings.end()) {
            for (const auto& p : rec->second.pos)
                if (p.time >= from && p.time <= to)
                    arr.push_back({{"time", p.time}, {"text", p.text}});
        }
        nlohmann::ordered_json doc = {{"from", from}, {"to", to}, {"arr", std::move(arr)}};
        res.set_content(doc.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace), "application/json");
    });

    m_server->Get(R"(/(\d+)-(\d+)-(\d+))", [this, servesStream](const httplib::Request& req, httplib::Response& res) {
        std::int64_t stream = 0, start = 0, end = 0;
        if (!parseMs(req.matches[1], stream) || !parseMs(req.matches[2], start) || !parseMs(req.matches[3], end) ||
            !servesStream(stream))
            return plain(res, 404, "not found");
        auto rec = m_site.recordings.find(stream);
        const bool known = rec != m_site.recordings.end() &&
                           std::any_of(rec->second.chunks.begin(), rec->second.chunks.end(),
                                       [&](const auto& c) { return c.start == start && c.end == end; });
        if (!known)
            return plain(res, 404,
                         "no chunk " + std::to_string(start) + "-" + std::to_string(end) + " of stream " +
                             std::to_string(stream));
        std::string error;
        auto bytes = m_numbered ? m_numbered->chunk(start, end, std::chrono::seconds(60), error)
                                : m_media.media(std::chrono::seconds(60), error);
        if (!bytes)
            return plain(res, 503, "media unavailable: " + error);
        res.set_content(*bytes, "video/mp4");
    });

    m_server->set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            plain(res, res.status, res.status == 404 ? "not found" : "error");
    });
}

} // namespace vantorsim
