// SPDX-License-Identifier: MIT
#pragma once

#include <zmq.hpp>

// The one ZeroMQ context of the process, made on first use and destroyed at process exit. Every
// socket must be closed before then, or the context's end waits for it.
class zmq_Context
{
public:
    static zmq_Context& instance();

    zmq::context_t& context() { return m_context; }

    zmq_Context(const zmq_Context&) = delete;
    zmq_Context& operator=(const zmq_Context&) = delete;

private:
    explicit zmq_Context(int ioThreads);
    ~zmq_Context();

    zmq::context_t m_context;
};
