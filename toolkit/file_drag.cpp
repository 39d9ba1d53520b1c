// The data object and drop source of a file drag. The data object answers for two formats
// only, each as a fresh global block the receiver owns.
#include "toolkit/file_drag.h"

#include <ole2.h>
#include <shlobj.h>
#include <windowsx.h>

#include <cstdlib>
#include <utility>

#include "toolkit/clipboard.h"
#include "toolkit/control.h"

namespace velmora {

namespace {

// Reference counting shared by the two objects; each lives only for one DoDragDrop.
template <class Interface>
class Counted : public Interface {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == __uuidof(Interface)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }

 protected:
  virtual ~Counted() = default;

 private:
  ULONG refs_ = 1;
};

class FileDataObject : public Counted<IDataObject> {
 public:
  explicit FileDataObject(std::vector<std::string> paths) : paths_(std::move(paths)) {
    formats_[0] = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    formats_[1] = {static_cast<CLIPFORMAT>(RegisterClipboardFormatA(CFSTR_PREFERREDDROPEFFECT)),
                   nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  }

  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    const HRESULT known = QueryGetData(format);
    if (known != S_OK) return known;
    HGLOBAL block =
        format->cfFormat == CF_HDROP ? MakeFileListBlock(paths_) : MakeCopyEffectBlock();
    if (!block) return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
    if (!format) return E_INVALIDARG;
    for (const FORMATETC& f : formats_)
      if (format->cfFormat == f.cfFormat) {
        if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
        return format->dwAspect == DVASPECT_CONTENT ? S_OK : DV_E_DVASPECT;
      }
    return DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    if (out) out->ptd = nullptr;
    return E_NOTIMPL;
  }
  // The receiver may report what it did ("Performed DropEffect"); nothing here needs it.
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
    if (direction != DATADIR_GET) return E_NOTIMPL;
    return SHCreateStdEnumFmtEtc(2, formats_, out);
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }

 private:
  std::vector<std::string> paths_;
  FORMATETC formats_[2];
};

class FileDropSource : public Counted<IDropSource> {
 public:
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
    if (escape || (keys & MK_RBUTTON)) return DRAGDROP_S_CANCEL;
    return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
  }
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

class DragSourceRecord;
std::vector<std::pair<Control*, DragSourceRecord*>> dragSources;  // GUI thread only

// A control's drag state: where the left button went down, while it is held.
class DragSourceRecord : public ObjectBase {
 public:
  void Destroy() override {
    std::erase_if(dragSources, [this](const auto& entry) { return entry.second == this; });
    ObjectBase::Destroy();
  }
  Callback Provide;
  bool Pressed = false;
  POINT Start = {0, 0};
};

bool FileDragHandler(Control* control, WindowMessage& message, LRESULT*) {
  DragSourceRecord* source = nullptr;
  for (const auto& entry : dragSources)
    if (entry.first == control) source = entry.second;
  if (!source) return false;
  const POINT at = {GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam)};
  switch (message.Message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      source->Pressed = true;
      source->Start = at;
      break;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      source->Pressed = false;
      break;
    case WM_MOUSEMOVE:
      if (!source->Pressed || !(message.WParam & MK_LBUTTON)) {
        source->Pressed = false;
        break;
      }
      if (std::abs(at.x - source->Start.x) > GetSystemMetrics(SM_CXDRAG) ||
          std::abs(at.y - source->Start.y) > GetSystemMetrics(SM_CYDRAG)) {
        source->Pressed = false;
        std::vector<std::string> paths;
        source->Provide.Invoke<DragFilesProc>(control, &paths);
        if (!paths.empty()) DragFiles(paths);
      }
      break;
    default:
      break;
  }
  return false;
}

}  // namespace

bool EnsureOle() {
  static const bool ready = SUCCEEDED(OleInitialize(nullptr));
  return ready;
}

DWORD DragFiles(const std::vector<std::string>& paths) {
  if (paths.empty() || !EnsureOle()) return DROPEFFECT_NONE;
  auto* data = new FileDataObject(paths);
  auto* source = new FileDropSource;
  DWORD effect = DROPEFFECT_NONE;
  const HRESULT result = DoDragDrop(data, source, DROPEFFECT_COPY, &effect);
  source->Release();
  data->Release();
  return result == DRAGDROP_S_DROP ? effect : DROPEFFECT_NONE;
}

void EnableFileDrag(Control* control, Callback provide) {
  auto* source = MakeObject<DragSourceRecord>();
  source->Provide = provide;
  control->OwnObject(source);
  dragSources.push_back({control, source});
  control->AddMessageHandler(&FileDragHandler);
}

}  // namespace velmora
