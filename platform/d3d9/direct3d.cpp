// The Direct3D object: capabilities and device creation.
#include "platform/d3d9/objects.h"
#include "platform/platform_internal.h"

namespace qv::platform {

void FillCaps(D3DDEVTYPE type, D3DCAPS9* caps) {
    *caps = {};
    caps->DeviceType = type;
    caps->AdapterOrdinal = 0;
    caps->DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_DRAWPRIMITIVES2;
    caps->MaxTextureWidth = 16384;
    caps->MaxTextureHeight = 16384;
    caps->MaxPrimitiveCount = 0x00FFFFFF;
    caps->MaxVertexIndex = 0x00FFFFFF;
    caps->MaxStreams = 1;
    caps->MaxStreamStride = 255;
}

HRESULT Direct3D::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDirect3D9) {
        AddRef();
        *object = static_cast<IDirect3D9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Direct3D::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG Direct3D::Release() {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

UINT Direct3D::GetAdapterCount() { return 1; }

HRESULT Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) {
    if (caps == nullptr || adapter != 0) return D3DERR_INVALIDCALL;
    if (deviceType != D3DDEVTYPE_HAL && deviceType != D3DDEVTYPE_NULLREF) return D3DERR_NOTAVAILABLE;
    FillCaps(deviceType, caps);
    return D3D_OK;
}

namespace {

bool IsDepthFormat(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_D16_LOCKABLE:
        case D3DFMT_D32:
        case D3DFMT_D15S1:
        case D3DFMT_D24S8:
        case D3DFMT_D24X8:
        case D3DFMT_D24X4S4:
        case D3DFMT_D16:
        case D3DFMT_D32F_LOCKABLE:
        case D3DFMT_D24FS8: return true;
        default: return false;
    }
}

}  // namespace

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD /*behaviorFlags*/,
                               D3DPRESENT_PARAMETERS* presentationParameters, IDirect3DDevice9** device) {
    if (device == nullptr || presentationParameters == nullptr || adapter != 0) {
        Direct3DDebugLineAlways("CreateDevice: missing presentation parameters or device pointer, or no adapter %u",
                                adapter);
        return D3DERR_INVALIDCALL;
    }
    *device = nullptr;
    D3DPRESENT_PARAMETERS parameters = *presentationParameters;
    if (parameters.EnableAutoDepthStencil && !IsDepthFormat(parameters.AutoDepthStencilFormat)) {
        Direct3DDebugLineAlways("CreateDevice: AutoDepthStencilFormat 0x%08X is not a depth format",
                                static_cast<unsigned>(parameters.AutoDepthStencilFormat));
        return D3DERR_INVALIDCALL;
    }
    std::unique_ptr<Renderer> renderer;
    switch (deviceType) {
        case D3DDEVTYPE_NULLREF:
            // No window, no display, no OpenGL: resources only.
            if (parameters.BackBufferWidth == 0) parameters.BackBufferWidth = 1;
            if (parameters.BackBufferHeight == 0) parameters.BackBufferHeight = 1;
            break;
        case D3DDEVTYPE_HAL: {
            if (parameters.BackBufferWidth == 0) parameters.BackBufferWidth = 800;
            if (parameters.BackBufferHeight == 0) parameters.BackBufferHeight = 600;
            std::string why;
            renderer = CreateOpenGLRenderer(parameters.hDeviceWindow ? parameters.hDeviceWindow : focusWindow,
                                            parameters, &why);
            if (!renderer) {
                Direct3DDebugLineAlways("CreateDevice: no HAL device: %s", why.c_str());
                return D3DERR_NOTAVAILABLE;
            }
            break;
        }
        default:
            Direct3DDebugLineAlways("CreateDevice: device type %u is not available (only HAL and NULLREF)",
                                    static_cast<unsigned>(deviceType));
            return D3DERR_NOTAVAILABLE;
    }
    *presentationParameters = parameters;  // the platform reports the sizes it chose
    *device = new Device(this, deviceType, parameters, std::move(renderer));
    return D3D_OK;
}

}  // namespace qv::platform

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    qv::platform::MarkDirect3DModuleLoaded();
    return new qv::platform::Direct3D();
}
