#pragma once
// CDialog and the controls it binds. The toolkit window behind a running dialog
// is a DialogHost, made by the factory that the program installs (the Qt layer).

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/dialog_template.h"
#include "platform/message_box.h"
#include "platform/window.h"

using INT_PTR = std::intptr_t;

class CDialog;

namespace platform {

// The toolkit side of one running dialog.
class DialogHost {
 public:
  virtual ~DialogHost() = default;
  virtual WindowPeer& Peer() = 0;
  virtual WindowPeer* ControlPeer(int id) = 0;
  // Runs the modal loop until EndModal.
  virtual void RunModalLoop() = 0;
  virtual void EndModal() = 0;
};

using DialogHostFactory = std::function<std::unique_ptr<DialogHost>(CDialog&, const DialogTemplate&)>;
void SetDialogHostFactory(DialogHostFactory factory);

// Who runs a dialog's modal loop: a user through the toolkit (the default), or a
// script (--play).
using ModalRunner = std::function<void(CDialog&, DialogHost&)>;
ModalRunner SetModalRunner(ModalRunner runner);

}  // namespace platform

class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
  CDialog* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
};

class CStatic : public CWnd {};
class CEdit : public CWnd {};

// Binds a member control to the dialog's control with that identifier.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
 public:
  CDialog(const platform::DialogTemplate& dialogTemplate, CWnd* parent = nullptr);
  ~CDialog() override;

  virtual INT_PTR DoModal();
  void EndDialog(int result);
  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  // The dialog's control with that identifier, or nullptr.
  CWnd* GetDlgItem(int id);

  const platform::DialogTemplate& Template() const { return m_template; }
  CWnd* Parent() const { return m_parent; }
  bool IsEnding() const { return m_ending; }

  virtual BOOL OnInitDialog();

 protected:
  virtual void DoDataExchange(CDataExchange* pDX);
  virtual void OnOK();
  virtual void OnCancel();
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  DECLARE_MESSAGE_MAP()

 private:
  friend void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
  void DetachAll();

  const platform::DialogTemplate& m_template;
  CWnd* m_parent;
  platform::DialogHost* m_host = nullptr;
  std::vector<CWnd*> m_boundControls;
  std::map<int, std::unique_ptr<CWnd>> m_items;
  bool m_ending = false;
  int m_result = 0;
};
