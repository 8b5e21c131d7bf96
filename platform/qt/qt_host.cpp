#include "platform/qt/qt_host.h"

#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <qdrawutil.h>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOptionGroupBox>
#include <QTextOption>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace platform::qt {
namespace {

QString ToQString(WStringView text) { return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())); }

QIcon ToQIcon(HICON handle) {
  QIcon icon;
  const auto* ico = static_cast<const window::Icon*>(handle);
  if (!ico) return icon;
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(ico->file.data()), static_cast<qsizetype>(ico->file.size()));
  QBuffer buffer(&bytes);
  QImageReader reader(&buffer, "ico");
  for (int i = 0; i < reader.imageCount() && reader.jumpToImage(i); ++i) icon.addPixmap(QPixmap::fromImage(reader.read()));
  return icon;
}

// The template's font, NanumGothic for its Hangul, at the template's size in
// pixels of the terminal's 96 dots per inch, as the platform's dialog manager
// makes it (9 points: 12 pixels), whatever the resolution of the screen it shows on.
// Hinted fully, as there, so that digits keep their height and a full stop its row.
QFont DialogFont(int points) {
  constexpr int kDotsPerInch = 96;
  constexpr int kPointsPerInch = 72;
  constexpr int kTemplatePoints = 9;  // a template without a font of its own
  if (points <= 0) points = kTemplatePoints;
  QFont font(QStringLiteral("NanumGothic"));
  font.setPixelSize((points * kDotsPerInch + kPointsPerInch / 2) / kPointsPerInch);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

// A static control's text laid out as the platform's static control does it: from
// the top, broken between words and inside a word longer than a line, and cut at
// the control's edges, so that a caption too long for its control shows its start.
class StaticControl final : public QLabel {
 public:
  StaticControl(const QString& text, Qt::Alignment alignment, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(alignment | Qt::AlignTop);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QTextOption layout(alignment());
    layout.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(rect()), text(), layout);
  }
};

// The dialog's look: the toolkit's own style, with a group box drawn as the
// platform's button control draws one, from the control's own rectangle: an etched
// frame whose top line runs through the middle of the caption's first line, and
// the caption on it, 7 pixels in.
class DialogStyle final : public QProxyStyle {
 public:
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                       const QWidget* widget) const override {
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || !box) return QProxyStyle::subControlRect(control, option, part, widget);
    constexpr int kCaptionIndent = 7;
    const int lineHeight = box->fontMetrics.height();
    switch (part) {
      case SC_GroupBoxFrame:
      case SC_GroupBoxContents:
        return box->rect.adjusted(0, lineHeight / 2 - 1, 0, 0);
      case SC_GroupBoxLabel:
        return QRect(box->rect.left() + kCaptionIndent, box->rect.top() - 1,
                     box->fontMetrics.horizontalAdvance(box->text) + 2, lineHeight) &
               box->rect.adjusted(kCaptionIndent, -1, -kCaptionIndent, 0);
      default:
        return {};
    }
  }

  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                          const QWidget* widget) const override {
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || !box) return QProxyStyle::drawComplexControl(control, option, painter, widget);
    const QRect label = subControlRect(control, option, SC_GroupBoxLabel, widget);
    painter->save();
    painter->setClipRegion(QRegion(box->rect) - label);
    qDrawShadeRect(painter, subControlRect(control, option, SC_GroupBoxFrame, widget), box->palette, true);
    painter->restore();
    drawItemText(painter, label.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, box->palette,
                 box->state & State_Enabled, box->text, QPalette::WindowText);
  }
};

}  // namespace

class QtHost::DialogWidget final : public QWidget {
 public:
  DialogWidget(window::Window& dialog, QStyle& style)
      : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_dialog(dialog), m_style(style) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(dialog.rect.right - dialog.rect.left, dialog.rect.bottom - dialog.rect.top);
    setFont(DialogFont(dialog.fontPoints));
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
          widget->setStyle(&m_style);
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
        edit->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // the platform's edit control starts its line at the top
        connect(edit, &QLineEdit::textEdited, this,
                [&control](const QString& typed) { window::TextEditedByUser(&control, typed.toStdU16String()); });
        widget = edit;
        break;
      }
      default: {
        const bool centred = (control.style & SS_TYPEMASK) == SS_CENTER;
        widget = new StaticControl(text, centred ? Qt::AlignHCenter : Qt::AlignLeft, this);
        break;
      }
    }
    const RECT& r = control.rect;
    widget->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
    if (qobject_cast<QGroupBox*>(widget)) widget->lower();
    m_controls[&control] = widget;
  }

  window::Window& m_dialog;
  QStyle& m_style;  // the host's, which outlives its dialogs
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

void QtHost::DialogCreated(window::Window& dialog) {
  if (!m_style) m_style = std::make_unique<DialogStyle>();
  m_dialogs[&dialog] = std::make_unique<DialogWidget>(dialog, *m_style);
}

void QtHost::DialogDestroyed(window::Window& dialog) { m_dialogs.erase(&dialog); }

void QtHost::TextChanged(window::Window& window) {
  const auto found = m_dialogs.find(window.parent ? window.parent : &window);
  if (found == m_dialogs.end()) return;
  const QString text = ToQString(window.text);
  if (!window.parent) return found->second->setWindowTitle(text);
  // Labels, edits and buttons show a text, a group box a title.
  if (QWidget* widget = found->second->Control(window)) widget->setProperty(qobject_cast<QGroupBox*>(widget) ? "title" : "text", text);
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

int QtHost::ShowMessageBox(window::Window* owner, WStringView text, WStringView caption, UINT /*type*/) {
  const auto found = owner ? m_dialogs.find(owner->parent ? owner->parent : owner) : m_dialogs.end();
  QWidget* parent = found == m_dialogs.end() ? nullptr : found->second.get();
  QMessageBox box(QMessageBox::NoIcon, ToQString(caption), ToQString(text), QMessageBox::Ok, parent);
  box.setFont(parent ? parent->font() : DialogFont(0));  // a box over the dialog speaks in the dialog's font
  box.exec();
  return IDOK;
}

bool QtHost::SaveScreenshot(HWND dialog, const std::filesystem::path& file) {
  const auto found = m_dialogs.find(window::FromHandle(dialog));
  return found != m_dialogs.end() && found->second->grab().save(QString::fromStdString(file.string()), "PNG");
}

}  // namespace platform::qt
