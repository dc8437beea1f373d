// Winsock first: it must come before any other Windows header.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "Proxy.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace e2e {

namespace {

constexpr size_t kMaxHead = 64 * 1024;
constexpr DWORD kClientTimeoutMs = 3000;

bool equalNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  size_t e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

void sendAll(SOCKET s, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    int n = send(s, data.data() + done, static_cast<int>(data.size() - done), 0);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

std::optional<std::string> ProxyRequest::header(const std::string& name) const {
  for (const auto& [k, v] : headers) {
    if (equalNoCase(k, name)) return v;
  }
  return std::nullopt;
}

HttpProxy::HttpProxy(ProxyResponse response) : listener_(INVALID_SOCKET), response_(std::move(response)) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) throw std::runtime_error("WSAStartup failed");

  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener_ == INVALID_SOCKET) {
    WSACleanup();
    throw std::runtime_error("socket failed: " + std::to_string(WSAGetLastError()));
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  int len = sizeof addr;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener_, SOMAXCONN) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    int err = WSAGetLastError();
    closesocket(listener_);
    WSACleanup();
    throw std::runtime_error("proxy listen on 127.0.0.1 failed: " + std::to_string(err));
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { serve(); });
}

HttpProxy::~HttpProxy() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(workersMutex_);
    // Wake connections that wait for data; each worker closes its own socket.
    for (Socket s : clients_) shutdown(s, SD_BOTH);
    workers.swap(workers_);
  }
  for (auto& w : workers) w.join();
  closesocket(listener_);
  WSACleanup();
}

std::wstring HttpProxy::address() const { return L"127.0.0.1:" + std::to_wstring(port_); }

void HttpProxy::setResponse(ProxyResponse response) {
  std::lock_guard lock(mutex_);
  response_ = std::move(response);
}

std::vector<ProxyRequest> HttpProxy::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<std::string> HttpProxy::requestLines() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines;
  for (const auto& r : requests_) lines.push_back(r.requestLine);
  return lines;
}

void HttpProxy::clear() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

std::optional<ProxyRequest> HttpProxy::waitFor(const std::function<bool(const ProxyRequest&)>& match,
                                               std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  std::optional<ProxyRequest> hit;
  arrived_.wait_for(lock, timeout, [&] {
    for (const auto& r : requests_) {
      if (match(r)) {
        hit = r;
        return true;
      }
    }
    return false;
  });
  return hit;
}

bool HttpProxy::waitForRequestLine(const std::string& line, std::chrono::milliseconds timeout) const {
  return waitFor([&](const ProxyRequest& r) { return r.requestLine == line; }, timeout).has_value();
}

bool HttpProxy::waitForCount(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

void HttpProxy::serve() {
  while (!stop_) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener_, &readable);
    timeval tick{0, 50 * 1000};
    int ready = select(0, &readable, nullptr, nullptr, &tick);
    if (ready <= 0) continue;
    SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    std::lock_guard lock(workersMutex_);
    clients_.push_back(client);
    workers_.emplace_back([this, client] {
      handle(client);
      std::lock_guard lock(workersMutex_);
      std::erase(clients_, client);
      closesocket(client);
    });
  }
}

void HttpProxy::handle(Socket client) {
  DWORD timeout = kClientTimeoutMs;
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);

  std::string head;
  char buf[4096];
  size_t end = std::string::npos;
  while ((end = head.find("\r\n\r\n")) == std::string::npos && head.size() < kMaxHead && !stop_) {
    int n = recv(client, buf, sizeof buf, 0);
    if (n <= 0) break;
    head.append(buf, static_cast<size_t>(n));
  }
  if (end == std::string::npos) {
    // A connection that never sent a whole request head (such as a probe) is not a request.
    if (head.empty()) return;
    end = head.size();
  }

  ProxyRequest req;
  size_t lineEnd = head.find("\r\n");
  req.requestLine = head.substr(0, std::min(lineEnd, end));
  size_t pos = lineEnd == std::string::npos ? end : lineEnd + 2;
  while (pos < end) {
    size_t next = head.find("\r\n", pos);
    if (next == std::string::npos || next > end) next = end;
    std::string line = head.substr(pos, next - pos);
    size_t colon = line.find(':');
    if (colon != std::string::npos) req.headers.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
    pos = next + 2;
  }

  // Drain a request body so that the client sees a clean answer.
  if (auto length = req.header("Content-Length")) {
    size_t want = static_cast<size_t>(std::strtoul(length->c_str(), nullptr, 10));
    size_t have = head.size() - std::min(head.size(), end + 4);
    while (have < want && !stop_) {
      int n = recv(client, buf, sizeof buf, 0);
      if (n <= 0) break;
      have += static_cast<size_t>(n);
    }
  }

  ProxyResponse resp;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(req);
    resp = response_;
  }
  arrived_.notify_all();

  std::string answer = "HTTP/1.1 " + std::to_string(resp.status) + " " + resp.reason + "\r\n" +
                       "Content-Type: " + resp.contentType + "\r\n" +
                       "Content-Length: " + std::to_string(resp.body.size()) + "\r\n" +
                       "Cache-Control: no-store\r\n"
                       "Connection: close\r\n\r\n";
  if (req.requestLine.rfind("HEAD ", 0) != 0) answer += resp.body;
  sendAll(client, answer);
  shutdown(client, SD_SEND);
  // Let the client read the answer and close its end before the socket goes.
  DWORD linger = 500;
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&linger), sizeof linger);
  while (!stop_ && recv(client, buf, sizeof buf, 0) > 0) {
  }
}

}  // namespace e2e
