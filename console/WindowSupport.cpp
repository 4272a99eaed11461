#include "console/WindowSupport.h"

#include <QEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/ConsoleRules.h"
#include "console/Dialogs.h"
#include "net/OrvoServer.h"
#include "service/OrvoService.h"
#include "store/OrvoDiskDbUnit.h"

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

namespace {

// Starts and stops a timer as its window is shown and hidden; owned by the timer.
class ShownTimerFilter final : public QObject {
 public:
  explicit ShownTimerFilter(QTimer& timer) : QObject(&timer), timer_(timer) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) timer_.start();
    if (event->type() == QEvent::Hide) timer_.stop();
    return QObject::eventFilter(watched, event);
  }

 private:
  QTimer& timer_;
};

}  // namespace

void RunWhileShown(QWidget& window, QTimer& timer) {
  window.installEventFilter(new ShownTimerFilter(timer));
}

QStringList ListedClasses(store::TOrvoDiskDb& db) {
  std::vector<std::string> stored;
  db.GroupListAdmin(stored);
  QStringList names;
  for (const std::string& name : stored) names.append(Text(name));
  SortClassNames(names);
  return names;
}

void RecheckLogins(service::OrvoService& service) {
  if (net::TOrvoServer* server = service.Server()) server->RecheckLogins();
}

}  // namespace orvo::console
