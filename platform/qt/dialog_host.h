#pragma once
// The Qt window behind a running CDialog: a frameless 800 x 480 widget with one
// Qt control per template control, a surface image that the dialog's paint
// handler draws on, and the dialog's timers.

#include <QImage>
#include <QWidget>

#include <map>
#include <memory>

#include "platform/dialog.h"

class QPushButton;
class QTimer;

namespace platform {

class QtDialogHost;

class DialogWidget : public QWidget {
 public:
  DialogWidget(QtDialogHost& host, QImage& surface);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QtDialogHost& m_host;
  QImage& m_surface;
};

class QtDialogHost final : public DialogHost, public WindowPeer {
 public:
  QtDialogHost(CDialog& dialog, const DialogTemplate& dialogTemplate);
  ~QtDialogHost() override;

  // DialogHost
  WindowPeer& Peer() override { return *this; }
  WindowPeer* ControlPeer(int id) override;
  void RunModalLoop() override;
  void EndModal() override;

  // WindowPeer of the dialog window
  void SetText(const CString& text) override;
  CString Text() const override;
  void Show(int command) override;
  void Invalidate(bool erase) override;
  void BeginPaint() override;
  void EndPaint() override;
  void SetTimer(UINT_PTR id, UINT milliseconds) override;
  bool KillTimer(UINT_PTR id) override;
  void SetIcon(bool big, HICON icon) override;
  CDC* GetDC() override;
  void ReleaseDC(CDC* dc) override;

  // For a script that drives the dialog.
  CDialog& Dialog() { return m_dialog; }
  QWidget& Widget() { return *m_widget; }
  QPushButton* Button(int id) const;
  bool PaintPending() const { return m_paintPending; }
  bool HasArmedTimers() const { return !m_timers.empty(); }
  bool Ended() const { return m_ended; }
  void SendCommand(int id);

 private:
  class ControlPeerImpl;
  void DispatchPaint();

  CDialog& m_dialog;
  QImage m_surface;
  std::unique_ptr<DialogWidget> m_widget;
  std::map<int, std::unique_ptr<ControlPeerImpl>> m_controls;
  std::map<UINT_PTR, QTimer*> m_timers;  // children of the widget
  bool m_paintPending = false;
  bool m_paintQueued = false;
  bool m_erasePending = false;
  bool m_ended = false;
};

// Makes CDialog::DoModal open Qt windows and AfxMessageBox show Qt message boxes.
// A QApplication must exist.
void InstallQtWindowSystem();

// The background the dialog erases to.
QColor DialogBackground();

}  // namespace platform
