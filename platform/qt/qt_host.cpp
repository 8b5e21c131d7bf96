#include "platform/qt/qt_host.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstring>

namespace platform::qt {
namespace {

QString ToQString(WStringView text) { return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())); }

QIcon ToQIcon(HICON handle) {
  QIcon icon;
  const auto* images = static_cast<const window::Icon*>(handle);
  if (!images) return icon;
  for (const window::IconImage& image : images->images) {
    QImage picture(image.width, image.height, QImage::Format_ARGB32);
    for (int y = 0; y < image.height; ++y) {
      std::memcpy(picture.scanLine(y), image.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width),
                  static_cast<std::size_t>(image.width) * 4);
    }
    icon.addPixmap(QPixmap::fromImage(picture));
  }
  return icon;
}

// The terminal's dialog font is a system font with Hangul. Its dialog units come
// from that font, and the template's captions fit their controls there; here the
// units are fixed by the screen, so the font is made as large as it can be, up to
// the template's size, with every one-line caption still whole.
QFont DialogFont(const window::Window& dialog) {
  constexpr double kSmallestPoints = 5;
  QFont font(QStringLiteral("NanumGothic"));
  for (double points = dialog.fontPoints > 0 ? dialog.fontPoints : 9; points > kSmallestPoints; points -= 0.5) {
    font.setPointSizeF(points);
    const QFontMetrics metrics(font);
    const bool fits = std::ranges::all_of(dialog.children, [&](const auto& control) {
      const bool oneLine = control->kind == window::Kind::Static && (control->style & SS_TYPEMASK) == SS_LEFT;
      return !oneLine || metrics.horizontalAdvance(ToQString(control->text)) <= control->rect.right - control->rect.left;
    });
    if (fits) break;
  }
  return font;
}

}  // namespace

class QtHost::DialogWidget final : public QWidget {
 public:
  explicit DialogWidget(window::Window& dialog)
      : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_dialog(dialog) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(dialog.rect.right - dialog.rect.left, dialog.rect.bottom - dialog.rect.top);
    setFont(DialogFont(dialog));
    setWindowTitle(ToQString(dialog.text));
    // Controls are made in template order, which is also the tab order.
    for (const auto& control : dialog.children) AddControl(*control);
    // The window system, not Qt, decides what the dialog shows: when the screen
    // needs the window again, the dialog repaints through its own message.
    create();
    windowHandle()->installEventFilter(this);
  }

  QWidget* Control(const window::Window& control) const {
    const auto found = m_controls.find(&control);
    return found == m_controls.end() ? nullptr : found->second;
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    const window::Surface& surface = m_dialog.surface;
    const QImage pixels(reinterpret_cast<const uchar*>(surface.pixels.data()), surface.width, surface.height,
                        QImage::Format_RGB32);
    QPainter(this).drawImage(0, 0, pixels);
  }

  void keyPressEvent(QKeyEvent* event) override {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter && event->key() != Qt::Key_Escape) return QWidget::keyPressEvent(event);
    PostMessageW(&m_dialog, WM_KEYDOWN, static_cast<WPARAM>(enter ? VK_RETURN : VK_ESCAPE), 0);
    event->accept();
  }

  void closeEvent(QCloseEvent* event) override {
    event->ignore();  // the dialog decides; it ends through EndDialog
    PostMessageW(&m_dialog, WM_CLOSE, 0, 0);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && windowHandle()->isExposed()) InvalidateRect(&m_dialog, nullptr, TRUE);
    return QWidget::eventFilter(watched, event);
  }

 private:
  void AddControl(window::Window& control) {
    const QString text = ToQString(control.text);
    QWidget* widget = nullptr;
    switch (control.kind) {
      case window::Kind::Button:
        if ((control.style & BS_TYPEMASK) == BS_GROUPBOX) {
          widget = new QGroupBox(text, this);
        } else {
          auto* button = new QPushButton(text, this);
          connect(button, &QPushButton::clicked, this, [this, &control] {
            PostMessageW(&m_dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(control.id), BN_CLICKED),
                         reinterpret_cast<LPARAM>(static_cast<HWND>(&control)));
          });
          widget = button;
        }
        break;
      case window::Kind::Edit: {
        auto* edit = new QLineEdit(text, this);
        connect(edit, &QLineEdit::textEdited, this,
                [&control](const QString& typed) { window::TextEditedByUser(&control, typed.toStdU16String()); });
        widget = edit;
        break;
      }
      default: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        const bool centred = (control.style & SS_TYPEMASK) == SS_CENTER;
        label->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
        label->setWordWrap(centred);
        widget = label;
        break;
      }
    }
    const RECT& r = control.rect;
    widget->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
    if (qobject_cast<QGroupBox*>(widget)) widget->lower();
    m_controls[&control] = widget;
  }

  window::Window& m_dialog;
  std::map<const window::Window*, QWidget*> m_controls;  // children of this widget
};

QtHost::QtHost() = default;
QtHost::~QtHost() = default;

void QtHost::Wait(std::optional<window::Clock::time_point> deadline) {
  const auto now = Now();
  if (deadline && *deadline <= now) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return;
  }
  // A timer of Qt's own wakes the wait when the deadline comes.
  QTimer wake;
  wake.setSingleShot(true);
  if (deadline) {
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now);
    wake.start(static_cast<int>(std::min<std::int64_t>(remaining.count(), 1 << 30)));
  }
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtHost::DialogCreated(window::Window& dialog) { m_dialogs[&dialog] = std::make_unique<DialogWidget>(dialog); }

void QtHost::DialogDestroyed(window::Window& dialog) { m_dialogs.erase(&dialog); }

void QtHost::TextChanged(window::Window& window) {
  const auto found = m_dialogs.find(window.parent ? window.parent : &window);
  if (found == m_dialogs.end()) return;
  const QString text = ToQString(window.text);
  QWidget* widget = window.parent ? found->second->Control(window) : found->second.get();
  if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(text);
  else if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->setText(text);
  else if (auto* button = qobject_cast<QPushButton*>(widget)) button->setText(text);
  else if (auto* group = qobject_cast<QGroupBox*>(widget)) group->setTitle(text);
  else if (widget) widget->setWindowTitle(text);
}

void QtHost::Shown(window::Window& dialog) {
  const auto found = m_dialogs.find(&dialog);
  if (found == m_dialogs.end()) return;
  DialogWidget& widget = *found->second;
  if (!dialog.visible) {
    widget.hide();
    return;
  }
  // Shown or maximised, a dialog is the whole 800 x 480 screen, at its top left.
  widget.move(0, 0);
  widget.show();
  widget.activateWindow();
}

void QtHost::SurfaceChanged(window::Window& dialog) {
  if (const auto found = m_dialogs.find(&dialog); found != m_dialogs.end()) found->second->update();
}

void QtHost::IconChanged(window::Window& dialog) {
  if (const auto found = m_dialogs.find(&dialog); found != m_dialogs.end()) {
    found->second->setWindowIcon(ToQIcon(dialog.bigIcon ? dialog.bigIcon : dialog.smallIcon));
  }
}

int QtHost::MessageBox(window::Window* owner, WStringView text, WStringView caption, UINT /*type*/) {
  const auto found = owner ? m_dialogs.find(owner->parent ? owner->parent : owner) : m_dialogs.end();
  QWidget* parent = found == m_dialogs.end() ? nullptr : found->second.get();
  QMessageBox box(QMessageBox::NoIcon, ToQString(caption), ToQString(text), QMessageBox::Ok, parent);
  box.exec();
  return IDOK;
}

QImage QtHost::Screenshot(HWND dialog) const {
  const auto found = m_dialogs.find(window::FromHandle(dialog));
  return found == m_dialogs.end() ? QImage() : found->second->grab().toImage();
}

}  // namespace platform::qt
