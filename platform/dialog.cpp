#include "platform/dialog.h"

#include "platform/app.h"

namespace platform {
namespace {
DialogHostFactory g_factory;
ModalRunner g_runner;
}  // namespace

void SetDialogHostFactory(DialogHostFactory factory) { g_factory = std::move(factory); }

ModalRunner SetModalRunner(ModalRunner runner) {
  ModalRunner previous = std::move(g_runner);
  g_runner = std::move(runner);
  return previous;
}

}  // namespace platform

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, &CDialog::OnOK)
  ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(const platform::DialogTemplate& dialogTemplate, CWnd* parent)
    : m_template(dialogTemplate), m_parent(parent) {}

CDialog::~CDialog() { DetachAll(); }

INT_PTR CDialog::DoModal() {
  if (!platform::g_factory) return -1;
  std::unique_ptr<platform::DialogHost> host = platform::g_factory(*this, m_template);
  if (!host) return -1;
  m_host = host.get();
  m_ending = false;
  m_result = 0;
  AttachPeer(&host->Peer());

  SendMessage(WM_INITDIALOG);
  if (!m_ending) {
    // A dialog that has just appeared is painted whole.
    InvalidateRect(nullptr, TRUE);
    if (platform::g_runner) platform::g_runner(*this, *host);
    else host->RunModalLoop();
  }

  DetachAll();
  m_host = nullptr;
  if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
  return m_result;
}

void CDialog::DetachAll() {
  for (CWnd* control : m_boundControls) control->DetachPeer();
  m_boundControls.clear();
  m_items.clear();
  DetachPeer();
}

void CDialog::EndDialog(int result) {
  m_result = result;
  m_ending = true;
  if (m_host) m_host->EndModal();
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  CDataExchange exchange(this, saveAndValidate);
  DoDataExchange(&exchange);
  return TRUE;
}

CWnd* CDialog::GetDlgItem(int id) {
  if (!m_host) return nullptr;
  platform::WindowPeer* control = m_host->ControlPeer(id);
  if (!control) return nullptr;
  auto& item = m_items[id];
  if (!item) {
    item = std::make_unique<CWnd>();
    item->AttachPeer(control);
  }
  return item.get();
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
  UpdateData(TRUE);
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_CLOSE:  // a close request cancels, as the platform's dialog handling does
      return SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED));
    default:
      return CWnd::DefWindowProc(message, wParam, lParam);
  }
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  CDialog* dialog = pDX->m_pDlgWnd;
  if (!dialog || !dialog->m_host || rControl.peer()) return;
  platform::WindowPeer* control = dialog->m_host->ControlPeer(nIDC);
  if (!control) return;
  rControl.AttachPeer(control);
  dialog->m_boundControls.push_back(&rControl);
}
