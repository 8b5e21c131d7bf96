#include "platform/qt/dialog_host.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include "platform/gdi.h"
#include "platform/qt/icons.h"
#include "platform/qt/surface.h"

namespace platform {
namespace {

QString ToQString(const CString& text) { return QString::fromStdU16String(text.str()); }
CString FromQString(const QString& text) { return CString(text.toStdU16String()); }

// The terminal's dialog font is a 9-point system font with Hangul.
QFont DialogFont(const DialogTemplate& dialogTemplate) {
  QFont font(QStringLiteral("NanumGothic"));
  font.setPointSize(dialogTemplate.fontPoints > 0 ? dialogTemplate.fontPoints : 9);
  return font;
}

}  // namespace

QColor DialogBackground() { return QColor(236, 236, 236); }

class QtDialogHost::ControlPeerImpl final : public WindowPeer {
 public:
  ControlPeerImpl(QWidget* widget, ControlKind kind) : m_widget(widget), m_kind(kind) {}

  void SetText(const CString& text) override {
    const QString value = ToQString(text);
    switch (m_kind) {
      case ControlKind::PushButton: static_cast<QPushButton*>(m_widget)->setText(value); break;
      case ControlKind::Edit: static_cast<QLineEdit*>(m_widget)->setText(value); break;
      case ControlKind::GroupBox: static_cast<QGroupBox*>(m_widget)->setTitle(value); break;
      case ControlKind::Label:
      case ControlKind::StaticText: static_cast<QLabel*>(m_widget)->setText(value); break;
    }
  }

  CString Text() const override {
    switch (m_kind) {
      case ControlKind::PushButton: return FromQString(static_cast<QPushButton*>(m_widget)->text());
      case ControlKind::Edit: return FromQString(static_cast<QLineEdit*>(m_widget)->text());
      case ControlKind::GroupBox: return FromQString(static_cast<QGroupBox*>(m_widget)->title());
      case ControlKind::Label:
      case ControlKind::StaticText: return FromQString(static_cast<QLabel*>(m_widget)->text());
    }
    return {};
  }

  QWidget* widget() const { return m_widget; }
  ControlKind kind() const { return m_kind; }

 private:
  QWidget* m_widget;
  ControlKind m_kind;
};

DialogWidget::DialogWidget(QtDialogHost& host, QImage& surface)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_host(host), m_surface(surface) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void DialogWidget::paintEvent(QPaintEvent*) {
  // Qt only shows what the dialog has painted; the dialog's own paint handler runs
  // when the dialog is invalidated, never because Qt redraws the window.
  QPainter painter(this);
  painter.drawImage(0, 0, m_surface);
}

void DialogWidget::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: m_host.SendCommand(IDOK); break;
    case Qt::Key_Escape: m_host.SendCommand(IDCANCEL); break;
    default: QWidget::keyPressEvent(event); return;
  }
  event->accept();
}

void DialogWidget::closeEvent(QCloseEvent* event) {
  event->ignore();  // the dialog decides; it ends through EndDialog
  if (!m_host.Ended()) m_host.Dialog().SendMessage(WM_CLOSE);
}

QtDialogHost::QtDialogHost(CDialog& dialog, const DialogTemplate& dialogTemplate)
    : m_dialog(dialog), m_surface(kScreenWidth, kScreenHeight, QImage::Format_RGB32) {
  m_surface.fill(DialogBackground());
  m_widget = std::make_unique<DialogWidget>(*this, m_surface);
  m_widget->setFixedSize(UnitsToPixelsX(dialogTemplate.units.right), UnitsToPixelsY(dialogTemplate.units.bottom));
  m_widget->move(UnitsToPixelsX(dialogTemplate.units.left), UnitsToPixelsY(dialogTemplate.units.top));
  m_widget->setFont(DialogFont(dialogTemplate));
  m_widget->setWindowTitle(ToQString(CString(dialogTemplate.caption)));
  QPalette palette = m_widget->palette();
  palette.setColor(QPalette::Window, DialogBackground());
  m_widget->setPalette(palette);

  // Controls are made in template order, which is also the tab order.
  for (const DialogControl& control : dialogTemplate.controls) {
    const QString text = ToQString(CString(control.text));
    QWidget* widget = nullptr;
    switch (control.kind) {
      case ControlKind::PushButton: {
        auto* button = new QPushButton(text, m_widget.get());
        const int id = control.id;
        QObject::connect(button, &QPushButton::clicked, m_widget.get(),
                         [this, id] { m_dialog.SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<UINT>(id), BN_CLICKED)); });
        widget = button;
        break;
      }
      case ControlKind::Edit: widget = new QLineEdit(text, m_widget.get()); break;
      case ControlKind::GroupBox: widget = new QGroupBox(text, m_widget.get()); break;
      case ControlKind::Label:
      case ControlKind::StaticText: {
        auto* label = new QLabel(text, m_widget.get());
        label->setTextFormat(Qt::PlainText);
        const bool centred = (control.style & 0x3) == SS_CENTER;
        label->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
        label->setWordWrap(centred);
        widget = label;
        break;
      }
    }
    const RECT pixels = ControlPixels(control.units);
    widget->setGeometry(pixels.left, pixels.top, pixels.right - pixels.left, pixels.bottom - pixels.top);
    if (control.kind == ControlKind::GroupBox) widget->lower();
    if (control.id != -1) m_controls[control.id] = std::make_unique<ControlPeerImpl>(widget, control.kind);
  }
}

QtDialogHost::~QtDialogHost() = default;

WindowPeer* QtDialogHost::ControlPeer(int id) {
  auto found = m_controls.find(id);
  return found == m_controls.end() ? nullptr : found->second.get();
}

QPushButton* QtDialogHost::Button(int id) const {
  auto found = m_controls.find(id);
  if (found == m_controls.end() || found->second->kind() != ControlKind::PushButton) return nullptr;
  return static_cast<QPushButton*>(found->second->widget());
}

void QtDialogHost::SendCommand(int id) {
  m_dialog.SendMessage(WM_COMMAND, MAKEWPARAM(static_cast<UINT>(id), BN_CLICKED));
}

void QtDialogHost::RunModalLoop() {
  // The dialog ends from inside one of the events this loop handles.
  while (!m_ended) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtDialogHost::EndModal() {
  m_ended = true;
  for (auto& [id, timer] : m_timers) timer->stop();
  m_widget->hide();
}

void QtDialogHost::SetText(const CString& text) { m_widget->setWindowTitle(ToQString(text)); }
CString QtDialogHost::Text() const { return FromQString(m_widget->windowTitle()); }

void QtDialogHost::Show(int command) {
  if (command == SW_HIDE) {
    m_widget->hide();
    return;
  }
  // Maximised on the terminal is the whole 800 x 480 screen, at its top left.
  m_widget->move(0, 0);
  m_widget->show();
  m_widget->activateWindow();
}

void QtDialogHost::Invalidate(bool erase) {
  m_paintPending = true;
  m_erasePending = m_erasePending || erase;
  if (m_paintQueued) return;
  m_paintQueued = true;
  // The paint message comes when the handler that invalidated has returned.
  QMetaObject::invokeMethod(m_widget.get(), [this] { DispatchPaint(); }, Qt::QueuedConnection);
}

void QtDialogHost::DispatchPaint() {
  m_paintQueued = false;
  if (!m_paintPending || m_ended) return;
  m_dialog.SendMessage(WM_PAINT);
  m_paintPending = false;  // a handler that did not begin painting is not asked again
}

void QtDialogHost::BeginPaint() {
  if (m_erasePending) m_surface.fill(DialogBackground());
  m_erasePending = false;
  m_paintPending = false;
}

void QtDialogHost::EndPaint() { m_widget->update(); }

void QtDialogHost::SetTimer(UINT_PTR id, UINT milliseconds) {
  QTimer*& timer = m_timers[id];
  if (!timer) {
    timer = new QTimer(m_widget.get());
    QObject::connect(timer, &QTimer::timeout, m_widget.get(), [this, id] {
      if (!m_ended) m_dialog.SendMessage(WM_TIMER, id);
    });
  }
  timer->start(static_cast<int>(milliseconds));  // setting an armed timer again restarts it
}

bool QtDialogHost::KillTimer(UINT_PTR id) {
  auto found = m_timers.find(id);
  if (found == m_timers.end()) return false;
  found->second->stop();
  // The timer may be the one whose signal is running: delete it later.
  found->second->deleteLater();
  m_timers.erase(found);
  return true;
}

void QtDialogHost::SetIcon(bool, HICON icon) {
  if (icon) m_widget->setWindowIcon(ToQIcon(icon));
}

CDC* QtDialogHost::GetDC() {
  if (m_ended) return nullptr;
  return CDC::FromHandle(CreateWindowDC(m_surface));
}

void QtDialogHost::ReleaseDC(CDC* dc) {
  if (!dc) return;
  ReleaseWindowDC(dc->m_hDC);
  m_widget->update();
}

void InstallQtWindowSystem() {
  SetDialogHostFactory([](CDialog& dialog, const DialogTemplate& dialogTemplate) -> std::unique_ptr<DialogHost> {
    return std::make_unique<QtDialogHost>(dialog, dialogTemplate);
  });
  SetMessageBoxPresenter([](const CString& text, unsigned) {
    QMessageBox box(QMessageBox::NoIcon, QString(), ToQString(text), QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
    return IDOK;
  });
}

}  // namespace platform
