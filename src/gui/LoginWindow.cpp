// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/LoginWindow.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkCookie>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "fs/ProgramFolder.h"
#include "gui/ChineseTexts.h"
#include "net/CookieStore.h"
#include "net/HttpEngine.h"
#include "text/StringCtrl.h"

namespace albumora::gui {

namespace {

// The window's first size (470 x 381 dialog units of the classic dialog font) and the top row.
constexpr int kStartWidth = 705;
constexpr int kStartHeight = 619;
constexpr int kMargin = 8;
constexpr int kRowHeight = 26;
constexpr int kButtonWidth = 80;
constexpr int kEditGap = 5;  // between the edit's right edge and the button
constexpr int kBrowserTop = kRowHeight + 2 * kMargin - 4;

std::string Utf8(const QByteArray& bytes) { return bytes.toStdString(); }

// A cookie of the browser as the store keeps it; false for one without a domain.
bool ToStored(const QNetworkCookie& cookie, StoredCookie& stored) {
  std::string domain = cookie.domain().toLower().toStdString();
  if (domain.empty() || domain == ".") return false;
  stored.includeSubdomains = domain[0] == '.';
  if (stored.includeSubdomains) domain.erase(0, 1);
  stored.domain = domain;
  stored.path = cookie.path().isEmpty() ? std::string("/") : cookie.path().toStdString();
  stored.secure = cookie.isSecure();
  stored.httpOnly = cookie.isHttpOnly();
  stored.expires = cookie.isSessionCookie()
                       ? 0
                       : std::max<long long>(1, cookie.expirationDate().toSecsSinceEpoch());
  stored.name = Utf8(cookie.name());
  stored.value = Utf8(cookie.value());
  return !stored.name.empty();
}

// A cookie of the store as the browser takes it, with the origin it belongs to (a host-only
// cookie gets its host from the origin).
QNetworkCookie ToBrowser(const StoredCookie& stored, QUrl& origin) {
  QNetworkCookie cookie(QByteArray::fromStdString(stored.name),
                        QByteArray::fromStdString(stored.value));
  const QString domain = QString::fromStdString(stored.domain);
  if (stored.includeSubdomains) cookie.setDomain("." + domain);
  cookie.setPath(QString::fromStdString(stored.path));
  cookie.setSecure(stored.secure);
  cookie.setHttpOnly(stored.httpOnly);
  if (stored.expires != 0) cookie.setExpirationDate(QDateTime::fromSecsSinceEpoch(stored.expires));
  origin = QUrl(QString(stored.secure ? "https://" : "http://") + domain + "/");
  return cookie;
}

void SaveStore() { CookieStore::Shared().Save(ProgramFile("cookies.txt")); }

}  // namespace

void PrepareBrowserProcess() {
  // The browser's language (its error pages) is the default locale's when it starts.
  PrepareChineseLocale();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // Chromium's sandbox cannot run as root; Qt WebEngine's documented switch for that case.
  if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
}

void ApplyEngineProxyToBrowser() {
  const QUrl proxy(QString::fromStdString(EngineProxy()));
  if (proxy.isEmpty() || proxy.host().isEmpty()) {
    // No proxy of the engine's own: the http_proxy variables, as libcurl reads them.
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::DefaultProxy));
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    return;
  }
  QNetworkProxyFactory::setUseSystemConfiguration(false);
  const QString scheme = proxy.scheme().toLower();
  const bool socks = scheme.startsWith("socks");
  QNetworkProxy browserProxy(socks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy,
                             proxy.host(), static_cast<quint16>(proxy.port(socks ? 1080 : 80)),
                             proxy.userName(), proxy.password());
  QNetworkProxy::setApplicationProxy(browserProxy);
}

CDlgWebOpen::CDlgWebOpen(QWidget* owner, const QString& startAddress) : QDialog(owner) {
  setWindowTitle("登录成功后手动关闭对话框");
  setSizeGripEnabled(true);
  setMinimumSize(kButtonWidth + 120, kBrowserTop + 60);

  label_ = new QLabel("网址：", this);
  address_ = new QLineEdit(this);
  open_ = new QPushButton("打开", this);
  open_->setDefault(true);  // Enter in the edit opens too
  connect(open_, &QPushButton::clicked, this, &CDlgWebOpen::OpenAddress);

  // A browser profile of this window's own, kept in memory: the engine's store is the one that
  // lasts, so the profile starts with its cookies and hands every change back.
  ApplyEngineProxyToBrowser();
  profile_ = std::make_unique<QWebEngineProfile>();
  profile_->setHttpAcceptLanguage("zh-CN,zh;q=0.9");
  QWebEngineCookieStore* cookies = profile_->cookieStore();
  connect(cookies, &QWebEngineCookieStore::cookieAdded, this, [](const QNetworkCookie& cookie) {
    StoredCookie stored;
    if (ToStored(cookie, stored) && CookieStore::Shared().PutCookie(stored)) SaveStore();
  });
  connect(cookies, &QWebEngineCookieStore::cookieRemoved, this, [](const QNetworkCookie& cookie) {
    StoredCookie stored;
    if (!ToStored(cookie, stored)) return;
    CookieStore::Shared().DeleteCookie(stored.domain, stored.path, stored.name);
    SaveStore();
  });
  for (const StoredCookie& stored : CookieStore::Shared().AllCookies()) {
    QUrl origin;
    const QNetworkCookie cookie = ToBrowser(stored, origin);
    cookies->setCookie(cookie, origin);
  }

  browser_ = new QWebEngineView(this);
  browser_->setPage(new QWebEnginePage(profile_.get(), browser_));
  resize(kStartWidth, kStartHeight);
  LayOut(kStartWidth, kStartHeight);

  if (!startAddress.isEmpty()) {
    address_->setText(startAddress);
    OpenAddress();
  } else {
    address_->setText(QString::fromStdString(ClipboardText()));
  }
}

CDlgWebOpen::~CDlgWebOpen() {
  // The page goes before its profile.
  delete browser_;
  browser_ = nullptr;
}

QString CDlgWebOpen::Address() const { return address_->text(); }

void CDlgWebOpen::OpenAddress() {
  const QString text = address_->text().trimmed();
  if (text.isEmpty()) return;
  browser_->setUrl(QUrl::fromUserInput(text));
}

void CDlgWebOpen::LayOut(int width, int height) {
  const int labelWidth = label_->sizeHint().width();
  label_->setGeometry(kMargin, kMargin, labelWidth, kRowHeight);
  open_->setGeometry(width - kButtonWidth, kMargin, kButtonWidth, kRowHeight);
  const int editLeft = kMargin + labelWidth + 4;
  address_->setGeometry(editLeft, kMargin, std::max(0, open_->x() - kEditGap - editLeft),
                        kRowHeight);
  browser_->setGeometry(0, kBrowserTop, width, std::max(0, height - kBrowserTop));
}

void CDlgWebOpen::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayOut(event->size().width(), event->size().height());
}

void CDlgWebOpen::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (centred_) return;
  centred_ = true;
  const QWidget* over = parentWidget() ? parentWidget()->window() : nullptr;
  const QRect area =
      over ? over->frameGeometry() : (screen() ? screen()->availableGeometry() : QRect());
  if (area.isValid()) move(area.center() - rect().center());
}

std::unique_ptr<CDlgWebOpen> MakeLoginWindow(QWidget* owner, const QString& startAddress) {
  return std::make_unique<CDlgWebOpen>(owner, startAddress);
}

}  // namespace albumora::gui
