// SPDX-License-Identifier: GPL-3.0-or-later
// The loopback test web: an HTTP server on 127.0.0.1 (ephemeral port) that a test starts for
// itself. It answers as an origin and as an HTTP proxy, so with SetEngineProxy(web.ProxyUrl())
// the engine fetches the real site addresses unchanged ("GET http://user.qzone.qq.com/x
// HTTP/1.1") and they land here, routed by host and path. Answers can carry faults: gzip or
// zlib bodies with or without the matching header, chunked transfer, a lying Content-Length,
// a trickled body, a stall before the body and a connection closed mid-body.
//
// Only plain http is served (no CONNECT tunnel): https addresses cannot be answered here.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace albumora::testweb {

struct Request {
  std::string method;
  std::string url;    // absolute "http://host/path?query", as sent (percent-encoding kept)
  std::string host;   // no port, lower case
  std::string path;   // as sent, not percent-decoded
  std::string query;  // after the first '?', empty when none
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // Case-insensitive; empty if absent. Several headers of one name: the first.
  std::string Header(std::string_view name) const;
};

struct Reply {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // Fault injection.
  enum class Encoding {
    None,
    GzipWithHeader,        // gzip body + "Content-Encoding: gzip"
    GzipNoHeader,          // gzip body, no header
    ZlibWithDeflateHeader  // zlib stream + "Content-Encoding: deflate"
  } encoding = Encoding::None;
  bool chunked = false;       // chunked transfer encoding
  long contentLength = -1;    // >=0: announce this Content-Length; larger than the body: the
                              // connection is closed after the body
  size_t trickleBytes = 0;    // >0: send the body in pieces of this size ...
  int trickleDelayMs = 0;     // ... with this pause before each piece after the first
  int headerDelayMs = 0;      // pause before the status line (the answer's headers)
  int stallMs = 0;            // pause after the headers, before the body
  long closeAfterBytes = -1;  // close the connection after this many body bytes
  // >0: the body is this many bytes made while they are sent (GeneratedByte), not `body`; for
  // answers too large to hold.
  size_t generatedBytes = 0;

  static Reply Text(std::string body, std::string contentType = "text/html");
  static Reply Redirect(std::string location, int status = 302);
  static Reply Status(int status, std::string body = {});
  // Adds a header (several Set-Cookie headers are fine); returns *this for chaining.
  Reply& With(std::string name, std::string value);
};

using Handler = std::function<Reply(const Request&)>;

// A handler that always gives the same answer (for RoutePattern and RoutePrefix).
inline Handler Serve(Reply reply) {
  return [reply](const Request&) { return reply; };
}

class TestWeb {
 public:
  TestWeb();   // listens on 127.0.0.1:0
  ~TestWeb();  // stops, wakes any pausing answer and joins every thread
  TestWeb(const TestWeb&) = delete;
  TestWeb& operator=(const TestWeb&) = delete;

  int Port() const;
  std::string ProxyUrl() const;  // "http://127.0.0.1:PORT"
  std::string Origin() const;    // the same, for addressing the server directly

  // Routes are matched in the order added; host "" matches any host (case-insensitive, no
  // port). Route: the path must equal the request's path, the query is ignored unless the given
  // path contains '?', then path + "?" + query must equal it. RoutePrefix: the request's path
  // (path + "?" + query when the prefix contains '?') starts with the prefix. RoutePattern: the
  // regular expression (ECMAScript) is searched in path + "?" + query (only path when there is
  // no query); anchor it with ^ and $ for a whole match.
  void Route(std::string host, std::string path, Reply reply);
  void Route(std::string host, std::string path, Handler handler);
  void RoutePrefix(std::string host, std::string pathPrefix, Handler handler);
  void RoutePattern(std::string host, std::string regexOnPathAndQuery, Handler handler);

  // Every request, matched or not, in arrival order (thread-safe).
  std::vector<Request> Requests() const;
  // The requests whose url contains the text.
  std::vector<Request> RequestsTo(std::string_view urlPart) const;
  void ClearRequests();

  // Connections accepted so far (a client that reuses its connection adds none).
  int AcceptedConnections() const;
  // The cost of a new connection: each accepted connection waits this long before its first
  // request is read (a far-away host's connect and TLS round trips).
  void SetConnectionCharge(int ms);
  // Unmatched requests are answered 404 with an empty body. Idle connections are kept for a
  // second, for any number of requests.

 private:
  struct RouteEntry;
  Reply Answer(const Request& request);
  // Sleeps up to ms; false when the server is stopping.
  bool Pause(int ms);

  std::unique_ptr<httplib::Server> server_;
  std::thread listener_;
  int port_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::vector<std::shared_ptr<RouteEntry>> routes_;
  std::vector<Request> requests_;
  int connectionChargeMs_ = 0;
  int accepted_ = 0;
};

// Byte `offset` of a generated body.
inline char GeneratedByte(size_t offset) {
  return static_cast<char>((offset * 7 + offset / 4093) & 0xFF);
}

// Bytes of tests/fixtures/<relativePath>; throws std::runtime_error when it cannot be read.
std::string Fixture(const std::string& relativePath);

// A loopback port nobody listens on now: bound, learnt and closed again (a dead proxy, or the
// port a test's own daemon is then started on).
int FreeLoopbackPort();
// UTF-8 text to GBK bytes (iconv), for writing GBK fixtures from code.
std::string ToGbk(const std::string& utf8);
// gzip (or zlib) compression of a byte string, for building answers by hand.
std::string GzipBytes(const std::string& bytes);
std::string ZlibBytes(const std::string& bytes);

}  // namespace albumora::testweb
