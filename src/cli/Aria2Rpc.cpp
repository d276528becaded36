// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Aria2Rpc.h"

#include <curl/curl.h>

#include <memory>

#include "cli/CliCommon.h"
#include "cli/DownloadRun.h"

namespace albumora::cli {

namespace {

size_t Collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// The text of a JSON string member ("name":"text") in an answer; empty when absent.
std::string StringMember(const std::string& json, const std::string& name) {
  const std::string key = "\"" + name + "\":";
  size_t at = json.find(key);
  if (at == std::string::npos) return {};
  at = json.find('"', at + key.size());
  if (at == std::string::npos) return {};
  std::string text;
  for (size_t i = at + 1; i < json.size() && json[i] != '"'; ++i) {
    if (json[i] == '\\' && i + 1 < json.size()) ++i;
    text += json[i];
  }
  return text;
}

}  // namespace

Aria2Rpc::Aria2Rpc(std::string url, std::string secret)
    : url_(std::move(url)), secret_(std::move(secret)) {}

bool Aria2Rpc::Call(const std::string& method, const std::string& params, std::string& result,
                    std::string& error) {
  unreachable_ = false;
  std::string body = "{\"jsonrpc\":\"2.0\",\"id\":\"" + std::to_string(++id_) +
                     "\",\"method\":" + JsonString(method) + ",\"params\":[";
  if (!secret_.empty()) body += JsonString("token:" + secret_) + (params.empty() ? "" : ",");
  body += params + "]}";
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) {
    error = "cannot start a request";
    return false;
  }
  std::string answer;
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  // The daemon is reached directly, never through the proxy the sites are reached by.
  curl_easy_setopt(handle, CURLOPT_PROXY, "");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, 30L);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &answer);
  const CURLcode code = curl_easy_perform(handle);
  curl_slist_free_all(headers);
  if (code != CURLE_OK) {
    unreachable_ = true;
    error = "cannot reach aria2 at " + url_ + ": " + curl_easy_strerror(code);
    return false;
  }
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  if (answer.find("\"error\"") != std::string::npos) {
    const std::string message = StringMember(answer, "message");
    error = "aria2 refused " + method + ": " + (message.empty() ? answer : message);
    if (message == "Unauthorized") error += " (--aria2-secret must be aria2's --rpc-secret)";
    return false;
  }
  if (status != 200 || answer.find("\"result\"") == std::string::npos) {
    error = "no JSON-RPC answer from " + url_ + " (HTTP status " + std::to_string(status) +
            "); is it aria2's /jsonrpc address?";
    return false;
  }
  result = answer;
  return true;
}

bool Aria2Rpc::Check(std::string& version, std::string& error) {
  std::string answer;
  if (!Call("aria2.getVersion", "", answer, error)) return false;
  version = StringMember(answer, "version");
  return true;
}

bool Aria2Rpc::Add(const Aria2Entry& entry, std::string& error) {
  std::string headers = "[";
  for (const std::string& header : entry.headers) {
    headers += (headers.size() > 1 ? "," : "") + JsonString(header);
  }
  headers += "]";
  const std::string params = "[" + JsonString(entry.address) +
                             "],{\"dir\":" + JsonString(entry.dir) +
                             ",\"out\":" + JsonString(entry.out) + ",\"header\":" + headers + "}";
  std::string answer;
  return Call("aria2.addUri", params, answer, error);
}

}  // namespace albumora::cli
