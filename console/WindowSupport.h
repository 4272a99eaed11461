// What the console's windows share: the text conversions at their edge, named controls, placing
// a window, failure reporting and the started service's database and logins. Window thread only.
#pragma once

#include <QColor>
#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>

class QLabel;
class QTimer;

namespace orvo::service {
class OrvoService;
}
namespace orvo::store {
class TOrvoDiskDb;
}

namespace orvo::console {

class Dialogs;

inline const QColor kGreen(0x00, 0x80, 0x00);

// The store speaks UTF-8; the windows speak QString.
inline QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}
inline std::string Utf8(const QString& text) {
  return text.toStdString();
}

// A child control of `parent` that tests find by `name`.
template <typename Widget, typename... Args>
Widget* Make(QWidget* parent, const char* name, Args&&... args) {
  auto* widget = new Widget(std::forward<Args>(args)..., parent);
  widget->setObjectName(QLatin1String(name));
  return widget;
}

// A label whose text is drawn in `colour`.
QLabel* MakeColouredLabel(QWidget* parent, const char* name, const QString& text,
                          const QColor& colour);

// Puts `window` in the middle of its screen.
void CentreOnScreen(QWidget& window);

// Runs `body`, showing a raised failure's message in an error box: a handler reports and goes on.
void Guarded(Dialogs& dialogs, const std::function<void()>& body);

// The started service's database; raises std::runtime_error with `whyNotOpen` (or a plain
// sentence when that is empty) when it never opened.
store::TOrvoDiskDb& StartedDb(service::OrvoService& service, const std::string& whyNotOpen = {});

// Has `timer` run only while `window` is shown: started when it is shown, stopped when it is
// hidden, so a window out of sight reads nothing.
void RunWhileShown(QWidget& window, QTimer& timer);

// The classes `db` holds, in the order the console lists them (SortClassNames).
QStringList ListedClasses(store::TOrvoDiskDb& db);

// Has every login judged again at its next command (after a timetable or gate change); nothing
// without a server.
void RecheckLogins(service::OrvoService& service);

}  // namespace orvo::console
