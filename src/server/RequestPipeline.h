#pragma once

#include "common/ServerError.h"
#include "server/ServerClient.h"

#include <deque>
#include <functional>

// Requests kept in flight on one connection, sent as chained requests: the
// server answers them in order, and once it refuses one it skips the ones
// after it, so nothing after a failed request takes effect. Each request
// carries a tag of the caller's (the line of a file, the row of a grid) that
// names it when it fails. Used wherever many independent calls go out in a
// row: the import's positions, loading and setting many grid rows, posting.
template <typename Tag> class RequestPipeline {
public:
    // The first request that was not confirmed, and why.
    struct Failure {
        Tag tag;
        ServerError error;
    };

    explicit RequestPipeline(ServerClient& client, int depth = 256)
        : m_client(client), m_token(client.connectionToken()), m_depth(depth < 1 ? 1 : depth) {}
    // Reads what is still in flight so the connection is clean for the next
    // call; their errors are dropped.
    ~RequestPipeline() { drain(); }
    RequestPipeline(const RequestPipeline&) = delete;
    RequestPipeline& operator=(const RequestPipeline&) = delete;

    // Called with the tag and the answer of every confirmed request, in the
    // order of sending.
    std::function<void(const Tag&, const QStringList&)> onConfirmed;
    // The same with the answer's texts as they came; when set, it is called
    // instead of onConfirmed.
    std::function<void(const Tag&, const Wire::RawTexts&)> onConfirmedRaw;

    // Sends one request. When more than the depth are in flight, the oldest
    // is settled first. Throws Failure when a request was refused or the
    // connection failed; then nothing after the failed request is stored.
    void send(Wire::Op op, const QStringList& args, Tag tag) {
        quint32 id = 0;
        try {
            id = client().post(op, args, true);
        } catch (const ServerError& e) {
            // The answers that did arrive still count: the first request not
            // confirmed is the one that failed, else this one.
            finish();
            throw Failure{std::move(tag), e};
        }
        m_inFlight.push_back({id, std::move(tag)});
        while (int(m_inFlight.size()) > m_depth)
            settleOldest();
    }

    // Waits for every request in flight. Throws Failure as send() does.
    void finish() {
        while (!m_inFlight.empty())
            settleOldest();
    }

    // Settles the requests sent before the request id (posted on the same
    // client by someone else), so that awaiting that one passes over no
    // answer still wanted here. Throws Failure as send() does.
    void settleBefore(quint32 id) {
        while (!m_inFlight.empty() && m_inFlight.front().id < id)
            settleOldest();
    }

    int inFlight() const { return int(m_inFlight.size()); }
    qint64 confirmed() const { return m_confirmed; }

private:
    struct Sent {
        quint32 id;
        Tag tag;
    };

    void settleOldest() {
        Sent sent = std::move(m_inFlight.front());
        m_inFlight.pop_front();
        QStringList answer;
        Wire::RawTexts raw;
        try {
            if (onConfirmedRaw)
                raw = client().awaitRaw(sent.id);
            else
                answer = client().await(sent.id);
        } catch (const ServerError& e) {
            // The server skips the chained requests after it; their answers
            // are read so the connection is clean.
            drain();
            throw Failure{std::move(sent.tag), e};
        }
        ++m_confirmed;
        if (onConfirmedRaw)
            onConfirmedRaw(sent.tag, raw);
        else if (onConfirmed)
            onConfirmed(sent.tag, answer);
    }

    void drain() noexcept {
        while (!m_inFlight.empty()) {
            const quint32 id = m_inFlight.front().id;
            m_inFlight.pop_front();
            try {
                // A client of an ended connection may be gone: not touched.
                if (!m_token.expired() && m_client.isConnected())
                    m_client.await(id);
            } catch (...) {
            }
        }
    }

    // The client while its connection lasts; a window's events during the
    // work may renew the connection, and the old client with it.
    ServerClient& client() const {
        if (m_token.expired())
            throw ServerError(ClientErrors::NotConnected, kNoConnectionText);
        return m_client;
    }

    ServerClient& m_client;
    std::weak_ptr<const void> m_token;
    int m_depth;
    std::deque<Sent> m_inFlight;
    qint64 m_confirmed = 0;
};
