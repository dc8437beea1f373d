// A small HTTP proxy on the loopback interface for end-to-end tests.
//
// It listens on 127.0.0.1 at a port the system picks, takes one request per
// connection, records its request line and headers, answers with a fixed short
// response and closes the connection. Start the program under test with
// http_proxy=127.0.0.1:<port> (see environmentFor) and wait for the request lines
// that its navigations must produce.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

struct ProxyRequest {
  std::string requestLine;                                   // "GET http://host:80/ HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
  std::optional<std::string> header(const std::string& name) const;  // case-insensitive
};

struct ProxyResponse {
  int status = 200;
  std::string reason = "OK";
  std::string contentType = "text/html; charset=utf-8";
  std::string body = "<html><head><title>e2e</title></head><body>e2e</body></html>";

  static ProxyResponse badGateway() { return {502, "Bad Gateway", "text/plain", "no upstream in tests"}; }
};

class HttpProxy {
 public:
  // Binds and starts serving at once; throws std::runtime_error on failure.
  explicit HttpProxy(ProxyResponse response = {});
  HttpProxy(const HttpProxy&) = delete;
  HttpProxy& operator=(const HttpProxy&) = delete;
  // Stops the server thread and closes every socket.
  ~HttpProxy();

  unsigned short port() const { return port_; }
  // "127.0.0.1:<port>"
  std::wstring address() const;

  void setResponse(ProxyResponse response);

  std::vector<ProxyRequest> requests() const;
  std::vector<std::string> requestLines() const;
  void clear();

  // Waits until some recorded request satisfies `match`; returns it, or nullopt when
  // `timeout` passes first.
  std::optional<ProxyRequest> waitFor(const std::function<bool(const ProxyRequest&)>& match,
                                      std::chrono::milliseconds timeout) const;
  bool waitForRequestLine(const std::string& line, std::chrono::milliseconds timeout) const;
  // Waits until at least `count` requests have been recorded; true if so.
  bool waitForCount(size_t count, std::chrono::milliseconds timeout) const;

 private:
  // A Winsock SOCKET, kept opaque so that this header needs no Windows headers.
  using Socket = std::uintptr_t;

  void serve();
  void handle(Socket client);

  Socket listener_;
  unsigned short port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<ProxyRequest> requests_;
  ProxyResponse response_;
  std::thread thread_;
  std::mutex workersMutex_;
  std::vector<std::thread> workers_;  // one per connection
  std::vector<Socket> clients_;       // open connections, shut down on stop

};

}  // namespace e2e
