// The scripted peer: a loopback listener, one session at a time, lines recorded as received.
#include "tests/support/ScriptedPeer.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>

namespace testsupport {
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

ScriptedPeer::ScriptedPeer(std::function<void(Session&)> script)
    : certificate_("IP:127.0.0.1,DNS:localhost", directory_.File("peer.pem"))
{
    thread_ = std::thread([this, script = std::move(script)] {
        Session session(*this);
        Accept(session);
        script(session);
    });
}

void ScriptedPeer::Join()
{
    if (thread_.joinable())
        thread_.join();
}

std::vector<std::string> ScriptedPeer::Received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

std::size_t ScriptedPeer::ReceivedCount() const
{
    std::lock_guard lock(mutex_);
    return received_.size();
}

void ScriptedPeer::Record(std::string line)
{
    std::lock_guard lock(mutex_);
    received_.push_back(std::move(line));
}

void ScriptedPeer::Accept(Session& session)
{
    ex2qln::net::SocketHandle socket = listener_.Accept();
    timeval timeout{10, 0};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    session.end_ = std::make_unique<ServerEnd>(std::move(socket), certificate_);
    session.closed_ = false;
}

ScriptedPeer::Session::Session(ScriptedPeer& peer) : peer_(peer) {}

std::optional<std::string> ScriptedPeer::Session::Read()
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

void ScriptedPeer::Session::Send(std::string_view text)
{
    end_->Write(ReplaceTag(text, tag_));
}

void ScriptedPeer::Session::Answer(std::string_view reply)
{
    if (Read())
        Send(reply);
}

bool ScriptedPeer::Session::StartTls()
{
    return end_->AcceptTls();
}

void ScriptedPeer::Session::Drop()
{
    ::shutdown(end_->Descriptor(), SHUT_RDWR);
}

void ScriptedPeer::Session::Reconnect()
{
    end_.reset();
    peer_.Accept(*this);
}

} // namespace testsupport
