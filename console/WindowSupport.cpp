#include "console/WindowSupport.h"

#include <QLabel>
#include <QScreen>
#include <exception>
#include <stdexcept>

#include "console/Dialogs.h"
#include "net/OrvoServer.h"
#include "service/OrvoService.h"

namespace orvo::console {

QLabel* MakeColouredLabel(QWidget* parent, const char* name, const QString& text,
                          const QColor& colour) {
  auto* label = Make<QLabel>(parent, name, text);
  QPalette colours = label->palette();
  colours.setColor(QPalette::WindowText, colour);
  label->setPalette(colours);
  return label;
}

void CentreOnScreen(QWidget& window) {
  if (const QScreen* screen = window.screen()) {
    window.move(screen->availableGeometry().center() - window.rect().center());
  }
}

void Guarded(Dialogs& dialogs, const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& e) {
    dialogs.Error(QString::fromUtf8(e.what()));
  }
}

store::TOrvoDiskDb& StartedDb(service::OrvoService& service, const std::string& whyNotOpen) {
  if (store::TOrvoDiskDb* db = service.Db()) return *db;
  throw std::runtime_error(whyNotOpen.empty() ? "the database is not open" : whyNotOpen);
}

void RecheckLogins(service::OrvoService& service) {
  if (net::TOrvoServer* server = service.Server()) server->RecheckLogins();
}

}  // namespace orvo::console
