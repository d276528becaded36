// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/DemoServe.h"

#include "DemoSite.h"
#include "TestWeb.h"
#include "net/HttpEngine.h"

namespace albumora::gui {

struct DemoServer::Impl {
  testweb::TestWeb web;
};

DemoServer::DemoServer() : impl_(std::make_unique<Impl>()) {}

DemoServer::~DemoServer() { SetEngineProxy(""); }

std::unique_ptr<DemoServer> DemoServer::Start(std::string& error) {
  try {
    std::unique_ptr<DemoServer> server(new DemoServer());
    testweb::ServeDemoSite(server->impl_->web);
    SetEngineProxy(server->impl_->web.ProxyUrl());
    return server;
  } catch (const std::exception& failure) {
    error = failure.what();
    return nullptr;
  }
}

const char* DemoServer::Account() { return testweb::kDemoAccount; }

std::string DemoServer::Origin() const { return impl_->web.Origin(); }

}  // namespace albumora::gui
