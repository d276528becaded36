// SPDX-License-Identifier: GPL-3.0-or-later
// The sample Qzone site: the route answer, the album list and the picture lists as Qzone's
// JSONP services write them (GBK), and the pictures on the picture host.
#include "DemoSite.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <regex>

namespace albumora::testweb {

namespace {

struct ServedPicture {
  std::string description;
  std::string extension;  // ".jpg", ".png"
  std::shared_ptr<const std::string> bytes;
  bool fullFails = false;
};

struct ServedAlbum {
  std::string id;
  std::string name;
  int priv = 1;
  std::vector<ServedPicture> pictures;
};

struct ServedAccount {
  std::string account;
  std::vector<ServedAlbum> albums;
  std::shared_ptr<RateLimitedHost> rateLimit;
  int listDelayMs = 0;  // pause before the body of the route, album list and picture lists
};

std::string PicturePath(const std::string& account, const ServedAlbum& album, size_t index,
                        const char* kind) {
  return "/psb/" + account + "/" + album.id + "/" + kind + "/" + std::to_string(index + 1) +
         album.pictures[index].extension;
}

std::string PictureAddress(const std::string& account, const ServedAlbum& album, size_t index,
                           const char* kind) {
  return std::string("http://") + kDemoPictureHost + PicturePath(account, album, index, kind);
}

// JSON writes "/" as "\/".
std::string JsonAddress(const std::string& address) {
  std::string out;
  for (char c : address) {
    if (c == '/') out += '\\';
    out += c;
  }
  return out;
}

std::string Jsonp(const std::string& json) { return ToGbk("_Callback(" + json + ");"); }

std::string AlbumListJson(const ServedAccount& site) {
  std::string json = "{\"code\":0,\"subcode\":0,\"message\":\"\",\"data\":{\"albumListModeSort\":[";
  for (size_t i = 0; i < site.albums.size(); ++i) {
    const ServedAlbum& album = site.albums[i];
    if (i > 0) json += ",";
    std::string cover =
        album.pictures.empty() ? std::string() : PictureAddress(site.account, album, 0, "a");
    json += "\n{\"allowAccess\" : 1, \"id\" : \"" + album.id + "\", \"name\" : \"" + album.name +
            "\", \"pre\" : \"" + JsonAddress(cover) +
            "\", \"priv\" : " + std::to_string(album.priv) +
            ", \"total\" : " + std::to_string(album.pictures.size()) + ", \"desc\" : \"\"}";
  }
  return json + "\n]}}";
}

std::string PictureListJson(const ServedAccount& site, const ServedAlbum& album) {
  std::string json = "{\"code\":0,\"subcode\":0,\"data\":{\"photoList\":[";
  for (size_t i = 0; i < album.pictures.size(); ++i) {
    if (i > 0) json += ",";
    json += "\n{\"batchId\" : \"" + std::to_string(1000 + i) + "\", \"name\" : \"" +
            album.pictures[i].description + "\", \"origin_url\" : \"" +
            JsonAddress(PictureAddress(site.account, album, i, "full")) + "\", \"pre\" : \"" +
            JsonAddress(PictureAddress(site.account, album, i, "a")) + "\"}";
  }
  return json + "\n]}}";
}

std::string QueryValue(const std::string& query, const std::string& key) {
  size_t at = query.find(key + "=");
  while (at != std::string::npos && at > 0 && query[at - 1] != '&') {
    at = query.find(key + "=", at + 1);
  }
  if (at == std::string::npos) return {};
  size_t start = at + key.size() + 1;
  size_t end = query.find('&', start);
  return query.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

const ServedAlbum* FindAlbum(const ServedAccount& site, const std::string& id) {
  for (const ServedAlbum& album : site.albums) {
    if (album.id == id) return &album;
  }
  return nullptr;
}

void ServeAccount(TestWeb& web, std::shared_ptr<const ServedAccount> site, int delayMs) {
  const std::string account = site->account;
  const std::string route = "{\"default\":\"tel\",\"tel\":{\"nu\":\"" +
                            std::string(kDemoAlbumViewHost) +
                            "\",\"p\":\"sznewp.photo.qq.com\",\"s\":\"static.photo.qq.com\"},"
                            "\"cnc\":{\"nu\":\"cnc.photo.qq.com\",\"p\":\"cnc.photo.qq.com\",\"s\":"
                            "\"cnc.photo.qq.com\"}}";
  web.RoutePattern("route.store.qq.com", "^/GetRoute\\?UIN=" + account + "&",
                   [route, site](const Request&) {
                     Reply reply = Reply::Text(route, "application/json");
                     reply.stallMs = site->listDelayMs;
                     return reply;
                   });

  web.RoutePattern(
      kDemoAlbumHost, "^/fcgi-bin/fcg_list_album_v2\\?(.*&)?hostUin=" + account + "(&|$)",
      [site](const Request&) {
        Reply reply = Reply::Text(Jsonp(AlbumListJson(*site)), "application/javascript");
        reply.stallMs = site->listDelayMs;
        return reply;
      });

  // The picture list service serves the public albums; the album-view service every album.
  auto pictureList = [site](bool publicOnly, const char* idKey) {
    return [site, publicOnly, idKey](const Request& request) {
      const ServedAlbum* album = FindAlbum(*site, QueryValue(request.query, idKey));
      if (album == nullptr || (publicOnly && album->priv != 1)) {
        return Reply::Text(Jsonp("{\"code\":-10805,\"message\":\"对不起，您没有访问权限\"}"),
                           "application/javascript");
      }
      Reply reply = Reply::Text(Jsonp(PictureListJson(*site, *album)), "application/javascript");
      reply.stallMs = site->listDelayMs;
      return reply;
    };
  };
  web.RoutePattern(kDemoPictureListHost,
                   "^/fcgi-bin/fcg_list_photo_v2\\?(.*&)?hostUin=" + account + "(&|$)",
                   pictureList(true, "albumid"));
  web.RoutePattern(kDemoAlbumViewHost,
                   "^/cgi-bin/common/cgi_view_album_v2\\?(.*&)?hostUin=" + account + "(&|$)",
                   pictureList(false, "albumId"));

  // One route answers every picture of the account, "/psb/ACCOUNT/ALBUM/KIND/N.EXT", so an
  // album of many thousand pictures costs the server no more per request than a small one.
  auto albums = std::make_shared<std::map<std::string, const ServedAlbum*>>();
  for (const ServedAlbum& album : site->albums) (*albums)[album.id] = &album;
  const std::string prefix = "/psb/" + account + "/";
  web.RoutePrefix(
      kDemoPictureHost, prefix, [site, albums, prefix, delayMs](const Request& request) {
        static const std::regex kPicturePath("([^/]+)/(full|a|b)/([0-9]{1,9})(\\.[a-z]+)");
        std::smatch parts;
        const std::string rest = request.path.substr(prefix.size());
        if (!std::regex_match(rest, parts, kPicturePath))
          return Reply::Status(404, "404 Not Found");
        if (site->rateLimit && !site->rateLimit->Admit()) {
          return Reply::Status(429, "Too Many Requests").With("Retry-After", "1");
        }
        const auto album = albums->find(parts[1].str());
        const size_t number = std::stoul(parts[3].str());
        if (album == albums->end() || number < 1 || number > album->second->pictures.size()) {
          return Reply::Status(404, "404 Not Found");
        }
        const ServedPicture& picture = album->second->pictures[number - 1];
        if (parts[4].str() != picture.extension ||
            (picture.fullFails && parts[2].str() == "full")) {
          return Reply::Status(404, "404 Not Found");
        }
        Reply reply = Reply::Text(*picture.bytes, "image/jpeg");
        reply.stallMs = delayMs;
        return reply;
      });
}

ServedAlbum ToServed(const DemoAlbum& album) {
  ServedAlbum served{album.id, album.name, album.priv, {}};
  for (const DemoPicture& picture : album.pictures) {
    size_t dot = picture.fixture.rfind('.');
    served.pictures.push_back(
        {picture.description, dot == std::string::npos ? ".jpg" : picture.fixture.substr(dot),
         std::make_shared<const std::string>(Fixture(picture.fixture)), picture.fullFails});
  }
  return served;
}

}  // namespace

bool RateLimitedHost::Admit() {
  std::lock_guard lock(mutex);
  const auto now = std::chrono::steady_clock::now();
  while (!window.empty() && now - window.front() >= std::chrono::seconds(1)) window.pop_front();
  if (window.size() >= static_cast<size_t>(allowed)) {
    ++refused;
    return false;
  }
  window.push_back(now);
  ++served;
  return true;
}

const std::vector<DemoAlbum>& DemoAlbums() {
  static const std::vector<DemoAlbum> albums = {
      {"V1west",
       "西湖",
       1,
       {{"断桥残雪", "demo/lake.jpg", false},
        {"苏堤春晓", "demo/hills.jpg", false},
        {"雷峰夕照", "demo/sunset.jpg", true}}},
      {"V2garden",
       "花园",
       1,
       {{"月季", "demo/flower.png", false}, {"月季", "demo/hills.jpg", false}}},
      {"V3home", "家人", 3, {{"全家福", "demo/sunset.jpg", false}}},
  };
  return albums;
}

std::string DemoFullAddress(const DemoAlbum& album, size_t index) {
  return PictureAddress(kDemoAccount, ToServed(album), index, "full");
}

std::string DemoPreviewAddress(const DemoAlbum& album, size_t index) {
  return PictureAddress(kDemoAccount, ToServed(album), index, "a");
}

void ServeDemoSite(TestWeb& web) {
  auto site = std::make_shared<ServedAccount>();
  site->account = kDemoAccount;
  for (const DemoAlbum& album : DemoAlbums()) site->albums.push_back(ToServed(album));
  ServeAccount(web, site, 0);
}

std::vector<std::string> ServeBenchAlbum(TestWeb& web, int pictures, size_t bytes, int delayMs) {
  BenchAccount shape;
  shape.pictures = pictures;
  shape.bytes = bytes;
  shape.delayMs = delayMs;
  return ServeBenchAccount(web, shape);
}

std::vector<std::string> ServeBenchAccount(TestWeb& web, const BenchAccount& shape) {
  auto site = std::make_shared<ServedAccount>();
  site->account = "20002";
  site->rateLimit = shape.rateLimit;
  site->listDelayMs = shape.listDelayMs;
  auto shared = std::make_shared<std::string>(shape.bytes, 'b');
  if (shape.bytes >= 2) {
    (*shared)[0] = static_cast<char>(0xFF);
    (*shared)[1] = static_cast<char>(0xD8);
  }
  for (int a = 0; a < std::max(shape.albums, 1); ++a) {
    char id[32];
    char name[32];
    std::snprintf(id, sizeof id, "Vbench%05d", a + 1);
    std::snprintf(name, sizeof name, "bench%05d", a + 1);
    // The first album keeps the old benchmark's names.
    ServedAlbum album{a == 0 ? "Vbench" : id, a == 0 || shape.oneAlbumName ? "bench" : name, 1, {}};
    for (int i = 0; (a == 0 || shape.everyAlbum) && i < shape.pictures; ++i) {
      char description[32];
      std::snprintf(description, sizeof description, "pic%05d", i + 1);
      album.pictures.push_back({shape.oneDescription ? "pic" : description, ".jpg", shared, false});
    }
    site->albums.push_back(std::move(album));
  }
  std::vector<std::string> addresses;
  for (const ServedAlbum& album : site->albums) {
    for (size_t i = 0; i < album.pictures.size(); ++i) {
      addresses.push_back(PictureAddress(site->account, album, i, "full"));
    }
  }
  ServeAccount(web, site, shape.delayMs);
  return addresses;
}

}  // namespace albumora::testweb
