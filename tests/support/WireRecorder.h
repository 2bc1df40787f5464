#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QThread>

namespace quorvane::test {

class WireRelay;

// A relay on loopback between clients and a server port that records every byte the clients
// send. It runs in a thread of its own, so that a client blocking the test's thread (an ODBC
// login) is still relayed.
class WireRecorder
{
public:
    explicit WireRecorder(quint16 serverPort);
    ~WireRecorder();
    WireRecorder(const WireRecorder&) = delete;
    WireRecorder& operator=(const WireRecorder&) = delete;

    // The port clients connect to; 0 when the relay could not listen.
    quint16 port() const { return m_port; }
    // Everything the clients sent so far, connections one after the other.
    QByteArray fromClients() const;
    // What each client sent, one entry per connection in the order they came.
    QList<QByteArray> connectionsFromClients() const;

private:
    QThread m_thread;
    WireRelay* m_relay;
    quint16 m_port = 0;
};

} // namespace quorvane::test
