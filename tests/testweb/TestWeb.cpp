// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestWeb.h"

#include <httplib.h>
#include <iconv.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace albumora::testweb {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), LowerAscii);
  return text;
}

// "host:port", "[::1]:port" or "host" → host without the port, lower case.
std::string HostOf(std::string_view authority) {
  if (!authority.empty() && authority.front() == '[') {
    auto close = authority.find(']');
    return Lower(std::string(
        authority.substr(0, close == std::string_view::npos ? authority.size() : close + 1)));
  }
  return Lower(std::string(authority.substr(0, authority.find(':'))));
}

// Builds the recorded request from httplib's. httplib keeps the request target as sent in
// `target`: "http://host/path?query" for a proxy request, "/path?query" for an origin request
// (its `path` is percent-decoded and, for a proxy request, holds the whole address).
Request MakeRequest(const httplib::Request& in) {
  Request out;
  out.method = in.method;
  out.body = in.body;
  for (const auto& [name, value] : in.headers) out.headers.emplace_back(name, value);

  std::string_view target = in.target;
  std::string authority;
  constexpr std::string_view kScheme = "http://";
  if (target.size() >= kScheme.size() && EqualsNoCaseAscii(target.substr(0, 7), kScheme)) {
    target.remove_prefix(kScheme.size());
    auto end = target.find_first_of("/?");
    authority = std::string(target.substr(0, end));
    target.remove_prefix(end == std::string_view::npos ? target.size() : end);
  } else {
    authority = in.get_header_value("Host");
  }
  auto mark = target.find('?');
  out.path = std::string(target.substr(0, mark));
  if (out.path.empty()) out.path = "/";
  if (mark != std::string_view::npos) out.query = std::string(target.substr(mark + 1));
  out.host = HostOf(authority);
  out.url = "http://" + authority + out.path + (out.query.empty() ? "" : "?" + out.query);
  return out;
}

std::string Deflate(const std::string& bytes, int windowBits) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  std::string out;
  char window[16384];
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  int result = Z_OK;
  while (result != Z_STREAM_END) {
    stream.next_out = reinterpret_cast<Bytef*>(window);
    stream.avail_out = sizeof window;
    result = deflate(&stream, Z_FINISH);
    if (result == Z_STREAM_ERROR) break;
    out.append(window, sizeof window - stream.avail_out);
  }
  deflateEnd(&stream);
  return out;
}

// httplib listens with a backlog of 5: a burst of connections (the download pool opens up to 15
// at once) would overflow it and wait for a SYN retransmission. Widen it once bound.
class LoopbackServer : public httplib::Server {
 public:
  void WidenBacklog() { ::listen(svr_sock_, SOMAXCONN); }
};

// httplib's thread pool, with a hook that runs as each accepted connection is handed over and
// one that runs on the connection's thread before its first request is read.
class ConnectionQueue : public httplib::TaskQueue {
 public:
  ConnectionQueue(size_t threads, std::function<void()> onAccept, std::function<void()> onStart)
      : pool_(threads), onAccept_(std::move(onAccept)), onStart_(std::move(onStart)) {}
  void enqueue(std::function<void()> serve) override {
    onAccept_();
    pool_.enqueue([this, serve = std::move(serve)] {
      onStart_();
      serve();
    });
  }
  void shutdown() override { pool_.shutdown(); }

 private:
  httplib::ThreadPool pool_;
  std::function<void()> onAccept_;
  std::function<void()> onStart_;
};

// An idle kept-alive connection holds its server thread for the keep-alive time. Shutting the
// server's own sockets (local address 127.0.0.1:port) down ends those waits at once; a client
// socket of this process has the port as its peer, not as its local address, and is left alone.
void ShutDownServedConnections(int port) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    int fd = -1;
    try {
      fd = std::stoi(entry.path().filename().string());
    } catch (const std::exception&) {
      continue;
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        local.sin_family != AF_INET || ntohs(local.sin_port) != port) {
      continue;
    }
    int listening = 0;
    socklen_t size = sizeof listening;
    if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 && listening) continue;
    ::shutdown(fd, SHUT_RDWR);
  }
}

}  // namespace

std::string Request::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsNoCaseAscii(key, name)) return value;
  }
  return {};
}

Reply Reply::Text(std::string body, std::string contentType) {
  Reply reply;
  reply.body = std::move(body);
  reply.headers.emplace_back("Content-Type", std::move(contentType));
  return reply;
}

Reply Reply::Redirect(std::string location, int status) {
  Reply reply;
  reply.status = status;
  reply.headers.emplace_back("Location", std::move(location));
  return reply;
}

Reply Reply::Status(int status, std::string body) {
  Reply reply;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

Reply& Reply::With(std::string name, std::string value) {
  headers.emplace_back(std::move(name), std::move(value));
  return *this;
}

struct TestWeb::RouteEntry {
  enum class Kind { Exact, Prefix, Pattern } kind;
  std::string host;  // lower case; empty = any
  std::string path;
  std::regex pattern;
  Handler handler;

  bool Matches(const Request& request) const {
    if (!host.empty() && host != request.host) return false;
    std::string full = request.query.empty() ? request.path : request.path + "?" + request.query;
    switch (kind) {
      case Kind::Exact:
        return path.find('?') == std::string::npos ? request.path == path : full == path;
      case Kind::Prefix: {
        const std::string& subject = path.find('?') == std::string::npos ? request.path : full;
        return subject.compare(0, path.size(), path) == 0;
      }
      case Kind::Pattern:
        return std::regex_search(full, pattern);
    }
    return false;
  }
};

TestWeb::TestWeb() : server_(std::make_unique<LoopbackServer>()) {
  // httplib's API takes ownership of a raw pointer here.
  server_->new_task_queue = [this] {
    return new ConnectionQueue(
        32,
        [this] {
          std::lock_guard lock(mutex_);
          ++accepted_;
        },
        [this] {
          int charge = 0;
          {
            std::lock_guard lock(mutex_);
            charge = connectionChargeMs_;
          }
          if (charge > 0) Pause(charge);
        });
  };
  server_->set_keep_alive_timeout(1);
  server_->set_keep_alive_max_count(1000000);
  server_->set_tcp_nodelay(true);  // headers and body go out in separate writes

  auto handle = [this](const httplib::Request& in, httplib::Response& out) {
    Request request = MakeRequest(in);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    // httplib compresses text answers on its own when the client accepts gzip; the answers
    // here must go out exactly as the test built them. The request object is httplib's own
    // non-const one, handed to handlers as const.
    const_cast<httplib::Request&>(in).headers.erase("Accept-Encoding");
    // Nor does it serve a range by itself: a handler answers a Range request as it likes.
    const_cast<httplib::Request&>(in).headers.erase("Range");
    const_cast<httplib::Request&>(in).ranges.clear();

    Reply reply = Answer(request);
    if (reply.headerDelayMs > 0 && !Pause(reply.headerDelayMs)) return;
    out.status = reply.status;

    std::string contentType = "text/plain";
    long contentLength = reply.contentLength;
    for (const auto& [name, value] : reply.headers) {
      if (EqualsNoCaseAscii(name, "Content-Type")) {
        contentType = value;
      } else if (EqualsNoCaseAscii(name, "Content-Length")) {
        if (contentLength < 0) contentLength = std::stol(value);
      } else if (!EqualsNoCaseAscii(name, "Transfer-Encoding")) {
        out.headers.emplace(name, value);
      }
    }

    auto body = std::make_shared<std::string>();
    switch (reply.encoding) {
      case Reply::Encoding::None:
        *body = std::move(reply.body);
        break;
      case Reply::Encoding::GzipWithHeader:
        *body = GzipBytes(reply.body);
        out.headers.emplace("Content-Encoding", "gzip");
        break;
      case Reply::Encoding::GzipNoHeader:
        *body = GzipBytes(reply.body);
        break;
      case Reply::Encoding::ZlibWithDeflateHeader:
        *body = ZlibBytes(reply.body);
        out.headers.emplace("Content-Encoding", "deflate");
        break;
    }

    if (reply.generatedBytes > 0) {
      const size_t total = reply.generatedBytes;
      out.set_content_provider(total, contentType,
                               [total](size_t offset, size_t, httplib::DataSink& sink) {
                                 char piece[65536];
                                 size_t count = std::min(sizeof piece, total - offset);
                                 for (size_t i = 0; i < count; ++i) {
                                   piece[i] = GeneratedByte(offset + i);
                                 }
                                 return sink.write(piece, count);
                               });
      return;
    }

    bool faults = reply.chunked || contentLength >= 0 || reply.trickleBytes > 0 ||
                  reply.stallMs > 0 || reply.closeAfterBytes >= 0;
    if (!faults || contentLength == 0) {
      if (contentLength == 0) body->clear();
      out.set_content(*body, contentType);
      return;
    }

    // Sends up to `announced` bytes of the body with the requested pauses; true when all of
    // them went out. A false return makes httplib close the connection.
    size_t announced = contentLength >= 0 ? static_cast<size_t>(contentLength) : body->size();
    auto send = [this, body, announced, reply](httplib::DataSink& sink) {
      if (reply.stallMs > 0 && !Pause(reply.stallMs)) return false;
      size_t limit = std::min(announced, body->size());
      if (reply.closeAfterBytes >= 0) {
        limit = std::min(limit, static_cast<size_t>(reply.closeAfterBytes));
      }
      size_t piece = reply.trickleBytes > 0 ? reply.trickleBytes : std::max<size_t>(limit, 1);
      for (size_t offset = 0; offset < limit;) {
        if (offset > 0 && reply.trickleDelayMs > 0 && !Pause(reply.trickleDelayMs)) return false;
        size_t count = std::min(piece, limit - offset);
        if (!sink.write(body->data() + offset, count)) return false;
        offset += count;
      }
      return limit == announced;
    };
    if (reply.chunked) {
      out.set_chunked_content_provider(contentType, [send](size_t, httplib::DataSink& sink) {
        if (!send(sink)) return false;
        sink.done();
        return true;
      });
    } else {
      out.set_content_provider(
          announced, contentType,
          [send](size_t, size_t, httplib::DataSink& sink) { return send(sink); });
    }
  };
  constexpr const char* kAny = "[\\s\\S]*";  // '.' would not match a decoded "\n"
  server_->Get(kAny, handle);
  server_->Post(kAny, handle);
  server_->Put(kAny, handle);
  server_->Delete(kAny, handle);
  server_->Options(kAny, handle);
  server_->Patch(kAny, handle);

  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("test web: cannot bind 127.0.0.1");
  static_cast<LoopbackServer&>(*server_).WidenBacklog();
  listener_ = std::thread([this] { server_->listen_after_bind(); });
  // stop() only acts on a running server: wait until the accept loop has started.
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestWeb::~TestWeb() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  server_->stop();
  ShutDownServedConnections(port_);
  listener_.join();
}

int TestWeb::Port() const { return port_; }

std::string TestWeb::ProxyUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string TestWeb::Origin() const { return ProxyUrl(); }

void TestWeb::Route(std::string host, std::string path, Reply reply) {
  Route(std::move(host), std::move(path),
        [reply = std::move(reply)](const Request&) { return reply; });
}

void TestWeb::Route(std::string host, std::string path, Handler handler) {
  auto entry = std::make_shared<RouteEntry>();
  entry->kind = RouteEntry::Kind::Exact;
  entry->host = Lower(std::move(host));
  entry->path = std::move(path);
  entry->handler = std::move(handler);
  std::lock_guard lock(mutex_);
  routes_.push_back(std::move(entry));
}

void TestWeb::RoutePrefix(std::string host, std::string pathPrefix, Handler handler) {
  auto entry = std::make_shared<RouteEntry>();
  entry->kind = RouteEntry::Kind::Prefix;
  entry->host = Lower(std::move(host));
  entry->path = std::move(pathPrefix);
  entry->handler = std::move(handler);
  std::lock_guard lock(mutex_);
  routes_.push_back(std::move(entry));
}

void TestWeb::RoutePattern(std::string host, std::string regexOnPathAndQuery, Handler handler) {
  auto entry = std::make_shared<RouteEntry>();
  entry->kind = RouteEntry::Kind::Pattern;
  entry->host = Lower(std::move(host));
  entry->pattern = std::regex(regexOnPathAndQuery);
  entry->handler = std::move(handler);
  std::lock_guard lock(mutex_);
  routes_.push_back(std::move(entry));
}

std::vector<Request> TestWeb::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<Request> TestWeb::RequestsTo(std::string_view urlPart) const {
  std::lock_guard lock(mutex_);
  std::vector<Request> found;
  std::copy_if(requests_.begin(), requests_.end(), std::back_inserter(found),
               [urlPart](const Request& r) { return r.url.find(urlPart) != std::string::npos; });
  return found;
}

int TestWeb::AcceptedConnections() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

void TestWeb::SetConnectionCharge(int ms) {
  std::lock_guard lock(mutex_);
  connectionChargeMs_ = ms;
}

void TestWeb::ClearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
}

Reply TestWeb::Answer(const Request& request) {
  std::vector<std::shared_ptr<RouteEntry>> routes;
  {
    std::lock_guard lock(mutex_);
    routes = routes_;
  }
  for (const auto& route : routes) {
    if (route->Matches(request)) return route->handler(request);
  }
  return Reply::Status(404);
}

bool TestWeb::Pause(int ms) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

std::string Fixture(const std::string& relativePath) {
  std::string path = std::string(ALBUMORA_FIXTURES_DIR) + "/" + relativePath;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("fixture not found: " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string ToGbk(const std::string& utf8) {
  iconv_t converter = iconv_open("GBK", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv: no GBK");
  std::string out;
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char window[4096];
  while (inLeft > 0) {
    char* next = window;
    size_t outLeft = sizeof window;
    size_t result = iconv(converter, &in, &inLeft, &next, &outLeft);
    out.append(window, next);
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      iconv_close(converter);
      throw std::runtime_error("ToGbk: text has no GBK form");
    }
  }
  iconv_close(converter);
  return out;
}

std::string GzipBytes(const std::string& bytes) { return Deflate(bytes, 15 + 16); }

std::string ZlibBytes(const std::string& bytes) { return Deflate(bytes, 15); }

int FreeLoopbackPort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool bound = probe >= 0 &&
                     ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (probe >= 0) ::close(probe);
  if (!bound) throw std::runtime_error("no free loopback port");
  return ntohs(address.sin_port);
}

}  // namespace albumora::testweb
