// The scripted IMAP peer: a loopback listener, one session at a time, lines recorded as received.
#include "tests/ex2qln/imap/ScriptedImapPeer.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>

namespace ex2qln::imap::testing {
namespace {

bool IsCommandTag(std::string_view word)
{
    return word.size() == 8 && std::all_of(word.begin(), word.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
           });
}

std::string ReplaceTag(std::string_view text, const std::string& tag)
{
    std::string result;
    for (std::size_t i = 0; i < text.size();) {
        if (text.substr(i, 5) == "{tag}") {
            result += tag;
            i += 5;
        } else {
            result += text[i++];
        }
    }
    return result;
}

} // namespace

ScriptedImapPeer::ScriptedImapPeer(std::function<void(Session&)> script)
    : certificate_("IP:127.0.0.1,DNS:localhost", directory_.File("peer.pem"))
{
    thread_ = std::thread([this, script = std::move(script)] {
        Session session(*this);
        Accept(session);
        script(session);
    });
}

void ScriptedImapPeer::Join()
{
    if (thread_.joinable())
        thread_.join();
}

std::vector<std::string> ScriptedImapPeer::Received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

std::size_t ScriptedImapPeer::ReceivedCount() const
{
    std::lock_guard lock(mutex_);
    return received_.size();
}

void ScriptedImapPeer::Record(std::string line)
{
    std::lock_guard lock(mutex_);
    received_.push_back(std::move(line));
}

void ScriptedImapPeer::Accept(Session& session)
{
    net::SocketHandle socket = listener_.Accept();
    timeval timeout{10, 0};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    session.end_ = std::make_unique<testsupport::ServerEnd>(std::move(socket), certificate_);
    session.closed_ = false;
}

ScriptedImapPeer::Session::Session(ScriptedImapPeer& peer) : peer_(peer) {}

std::optional<std::string> ScriptedImapPeer::Session::Read()
{
    if (closed_)
        return std::nullopt;
    std::string line = end_->ReadLine();
    if (line.empty() || line.back() != '\n') {
        closed_ = true;
        peer_.Record(std::string(kClosed));
        return std::nullopt;
    }
    line.pop_back();
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    const std::string_view first = std::string_view(line).substr(0, line.find(' '));
    if (IsCommandTag(first))
        tag_ = first;
    peer_.Record(line);
    return line;
}

void ScriptedImapPeer::Session::Send(std::string_view text)
{
    end_->Write(ReplaceTag(text, tag_));
}

void ScriptedImapPeer::Session::Answer(std::string_view reply)
{
    if (Read())
        Send(reply);
}

bool ScriptedImapPeer::Session::StartTls()
{
    return end_->AcceptTls();
}

void ScriptedImapPeer::Session::Drop()
{
    ::shutdown(end_->Descriptor(), SHUT_RDWR);
}

void ScriptedImapPeer::Session::Reconnect()
{
    end_.reset();
    peer_.Accept(*this);
}

} // namespace ex2qln::imap::testing
