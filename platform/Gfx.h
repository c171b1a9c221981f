// Graphics service, shaped after Direct3D 9: the adapter object (Gfx), the device (GfxDevice) and the
// objects it creates, with the Direct3D 9 numeric values of every enumeration the game passes.
//
// What the service promises:
// * Results are HRESULT-style codes (platform/Types.h): 0 success, negative failure. A failing creation
//   call leaves its out pointer null; a failing Lock leaves its data pointer null.
// * Units: buffer lengths, offsets and strides in bytes; rectangles and texture sizes in texels; colours
//   0xAARRGGBB; texture pixels in memory blue, green, red, alpha (D3DFMT_A8R8G8B8).
// * Lifetimes: every object is reference counted. A creation call hands the caller one reference, which
//   Release gives back; the object lives on while the device still holds it bound (as a stream, index
//   buffer, texture, declaration or shader), and a surface keeps its texture alive. Release returns the
//   references left. The Gfx object itself belongs to whoever filled Host; Release only ends the game's use.
// * Pointers a Lock or LockRect hands out stay valid until the matching Unlock/UnlockRect.
// * One thread: every call comes from the game's one thread, and the device is never shared.
#pragma once
#include <cstdint>

#include "platform/Types.h"

namespace kuvo {

class Window;

// Results beyond those of Types.h.
constexpr HRESULT D3DERR_NOTAVAILABLE = static_cast<HRESULT>(0x8876086Au);
constexpr HRESULT D3DERR_INVALIDCALL = static_cast<HRESULT>(0x8876086Cu);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = static_cast<HRESULT>(0x8876017Cu);

constexpr std::uint32_t D3D_SDK_VERSION = 32;
constexpr std::uint32_t D3DADAPTER_DEFAULT = 0;
constexpr std::uint32_t D3DDEVTYPE_HAL = 1;

// Behaviour flags of CreateDevice.
constexpr std::uint32_t D3DCREATE_FPU_PRESERVE = 0x02;
constexpr std::uint32_t D3DCREATE_MULTITHREADED = 0x04;
constexpr std::uint32_t D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;
constexpr std::uint32_t D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;

// Formats (D3DFORMAT).
constexpr std::uint32_t D3DFMT_UNKNOWN = 0;
constexpr std::uint32_t D3DFMT_A8R8G8B8 = 21;
constexpr std::uint32_t D3DFMT_X8R8G8B8 = 22;
constexpr std::uint32_t D3DFMT_D24S8 = 75;
constexpr std::uint32_t D3DFMT_INDEX16 = 101;
constexpr std::uint32_t D3DFMT_INDEX32 = 102;

// Memory classes (D3DPOOL).
constexpr std::uint32_t D3DPOOL_DEFAULT = 0;
constexpr std::uint32_t D3DPOOL_MANAGED = 1;
constexpr std::uint32_t D3DPOOL_SYSTEMMEM = 2;

constexpr std::uint32_t D3DUSAGE_AUTOGENMIPMAP = 0x400;

// Flexible vertex format bits; the mesh vertex is XYZ | NORMAL | TEX2 = 0x212.
constexpr std::uint32_t D3DFVF_XYZ = 0x002;
constexpr std::uint32_t D3DFVF_NORMAL = 0x010;
constexpr std::uint32_t D3DFVF_TEX2 = 0x200;

constexpr std::uint32_t D3DMULTISAMPLE_NONE = 0;
constexpr std::uint32_t D3DMULTISAMPLE_4_SAMPLES = 4;
constexpr std::uint32_t D3DSWAPEFFECT_DISCARD = 1;
constexpr std::uint32_t D3DPRESENT_INTERVAL_ONE = 1;

// Primitive types (D3DPRIMITIVETYPE).
constexpr std::uint32_t D3DPT_POINTLIST = 1;
constexpr std::uint32_t D3DPT_LINELIST = 2;
constexpr std::uint32_t D3DPT_LINESTRIP = 3;
constexpr std::uint32_t D3DPT_TRIANGLELIST = 4;
constexpr std::uint32_t D3DPT_TRIANGLESTRIP = 5;
constexpr std::uint32_t D3DPT_TRIANGLEFAN = 6;

// Render states (D3DRENDERSTATETYPE) and their values.
constexpr std::uint32_t D3DRS_ZENABLE = 7;
constexpr std::uint32_t D3DRS_ZWRITEENABLE = 14;
constexpr std::uint32_t D3DRS_SRCBLEND = 19;
constexpr std::uint32_t D3DRS_DESTBLEND = 20;
constexpr std::uint32_t D3DRS_CULLMODE = 22;
constexpr std::uint32_t D3DRS_ALPHABLENDENABLE = 27;
constexpr std::uint32_t D3DCULL_NONE = 1;
constexpr std::uint32_t D3DCULL_CW = 2;
constexpr std::uint32_t D3DCULL_CCW = 3;
constexpr std::uint32_t D3DBLEND_ZERO = 1;
constexpr std::uint32_t D3DBLEND_ONE = 2;
constexpr std::uint32_t D3DBLEND_SRCCOLOR = 3;
constexpr std::uint32_t D3DBLEND_INVSRCCOLOR = 4;

// Sampler states (D3DSAMPLERSTATETYPE) and filters (D3DTEXTUREFILTERTYPE).
constexpr std::uint32_t D3DSAMP_ADDRESSU = 1;
constexpr std::uint32_t D3DSAMP_ADDRESSV = 2;
constexpr std::uint32_t D3DSAMP_MAGFILTER = 5;
constexpr std::uint32_t D3DSAMP_MINFILTER = 6;
constexpr std::uint32_t D3DSAMP_MIPFILTER = 7;
constexpr std::uint32_t D3DSAMP_MAXANISOTROPY = 10;
constexpr std::uint32_t D3DTEXF_NONE = 0;
constexpr std::uint32_t D3DTEXF_POINT = 1;
constexpr std::uint32_t D3DTEXF_LINEAR = 2;
constexpr std::uint32_t D3DTEXF_ANISOTROPIC = 3;

// Clear flags.
constexpr std::uint32_t D3DCLEAR_TARGET = 1;
constexpr std::uint32_t D3DCLEAR_ZBUFFER = 2;
constexpr std::uint32_t D3DCLEAR_STENCIL = 4;

// Vertex declaration element fields (D3DDECLTYPE, D3DDECLMETHOD, D3DDECLUSAGE).
constexpr std::uint8_t D3DDECLTYPE_FLOAT2 = 1;
constexpr std::uint8_t D3DDECLTYPE_FLOAT3 = 2;
constexpr std::uint8_t D3DDECLTYPE_UNUSED = 17;
constexpr std::uint8_t D3DDECLMETHOD_DEFAULT = 0;
constexpr std::uint8_t D3DDECLUSAGE_POSITION = 0;
constexpr std::uint8_t D3DDECLUSAGE_NORMAL = 3;
constexpr std::uint8_t D3DDECLUSAGE_TEXCOORD = 5;
// Stream number of the element that ends a declaration.
constexpr std::uint16_t D3DDECL_END_STREAM = 0xFF;

// D3DDISPLAYMODE.
struct GfxDisplayMode {
  std::uint32_t Width;
  std::uint32_t Height;
  std::uint32_t RefreshRate;
  std::uint32_t Format;
};

// D3DPRESENT_PARAMETERS; hDeviceWindow null means the focus window.
struct GfxPresentParameters {
  std::uint32_t BackBufferWidth;
  std::uint32_t BackBufferHeight;
  std::uint32_t BackBufferFormat;
  std::uint32_t BackBufferCount;
  std::uint32_t MultiSampleType;
  std::uint32_t MultiSampleQuality;
  std::uint32_t SwapEffect;
  Window* hDeviceWindow;
  bool Windowed;
  bool EnableAutoDepthStencil;
  std::uint32_t AutoDepthStencilFormat;
  std::uint32_t Flags;
  std::uint32_t FullScreen_RefreshRateInHz;
  std::uint32_t PresentationInterval;
};

// RECT: right and bottom are one past the last texel.
struct GfxRect {
  std::int32_t left, top, right, bottom;
};

// D3DLOCKED_RECT: Pitch is the byte distance between rows.
struct GfxLockedRect {
  std::int32_t Pitch;
  void* pBits;
};

// D3DVERTEXELEMENT9, 8 bytes, little-endian. CreateVertexDeclaration takes an array of these, or the same
// bytes packed by hand, ending with the element whose Stream is D3DDECL_END_STREAM.
struct GfxVertexElement {
  std::uint16_t Stream;
  std::uint16_t Offset;
  std::uint8_t Type;
  std::uint8_t Method;
  std::uint8_t Usage;
  std::uint8_t UsageIndex;
};
static_assert(sizeof(GfxVertexElement) == 8);

// IDirect3DVertexBuffer9.
class GfxVertexBuffer {
 public:
  // Size 0 locks from `offset` to the end. No flags are defined; pass 0.
  virtual HRESULT Lock(std::uint32_t offset, std::uint32_t size, void** data, std::uint32_t flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  virtual ~GfxVertexBuffer() = default;
};

// IDirect3DIndexBuffer9.
class GfxIndexBuffer {
 public:
  virtual HRESULT Lock(std::uint32_t offset, std::uint32_t size, void** data, std::uint32_t flags) = 0;
  virtual HRESULT Unlock() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  virtual ~GfxIndexBuffer() = default;
};

// IDirect3DSurface9: one level of a texture.
class GfxSurface {
 public:
  // A null rect locks the whole level.
  virtual HRESULT LockRect(GfxLockedRect* locked, const GfxRect* rect, std::uint32_t flags) = 0;
  virtual HRESULT UnlockRect() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  virtual ~GfxSurface() = default;
};

// IDirect3DTexture9. With D3DUSAGE_AUTOGENMIPMAP only level 0 is reachable; the device derives the rest
// from it after every UnlockRect.
class GfxTexture {
 public:
  virtual HRESULT GetSurfaceLevel(std::uint32_t level, GfxSurface** surface) = 0;
  virtual std::uint32_t GetLevelCount() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  virtual ~GfxTexture() = default;
};

// IDirect3DVertexDeclaration9.
class GfxVertexDeclaration {
 public:
  virtual std::uint32_t Release() = 0;

 protected:
  virtual ~GfxVertexDeclaration() = default;
};

// IDirect3DVertexShader9.
class GfxVertexShader {
 public:
  virtual std::uint32_t Release() = 0;

 protected:
  virtual ~GfxVertexShader() = default;
};

// IDirect3DPixelShader9.
class GfxPixelShader {
 public:
  virtual std::uint32_t Release() = 0;

 protected:
  virtual ~GfxPixelShader() = default;
};

// IDirect3DDevice9, the calls the game makes. `shared` handles are always null.
class GfxDevice {
 public:
  virtual HRESULT SetRenderState(std::uint32_t state, std::uint32_t value) = 0;
  virtual HRESULT SetSamplerState(std::uint32_t sampler, std::uint32_t type, std::uint32_t value) = 0;

  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  // rects may be null only when count is 0.
  virtual HRESULT Clear(std::uint32_t count, const GfxRect* rects, std::uint32_t flags, std::uint32_t colour, float z,
                        std::uint32_t stencil) = 0;
  // All four arguments null: the whole back buffer to the whole window.
  virtual HRESULT Present(const GfxRect* sourceRect, const GfxRect* destRect, Window* overrideWindow,
                          const void* dirtyRegion) = 0;

  virtual HRESULT CreateVertexBuffer(std::uint32_t length, std::uint32_t usage, std::uint32_t fvf, std::uint32_t pool,
                                     GfxVertexBuffer** buffer, void* shared) = 0;
  virtual HRESULT CreateIndexBuffer(std::uint32_t length, std::uint32_t usage, std::uint32_t format, std::uint32_t pool,
                                    GfxIndexBuffer** buffer, void* shared) = 0;
  virtual HRESULT SetStreamSource(std::uint32_t stream, GfxVertexBuffer* buffer, std::uint32_t offset,
                                  std::uint32_t stride) = 0;
  virtual HRESULT SetIndices(GfxIndexBuffer* buffer) = 0;
  virtual HRESULT DrawIndexedPrimitive(std::uint32_t type, std::int32_t baseVertexIndex, std::uint32_t minVertexIndex,
                                       std::uint32_t numVertices, std::uint32_t startIndex,
                                       std::uint32_t primitiveCount) = 0;

  // levels 0 asks for the full chain.
  virtual HRESULT CreateTexture(std::uint32_t width, std::uint32_t height, std::uint32_t levels, std::uint32_t usage,
                                std::uint32_t format, std::uint32_t pool, GfxTexture** texture, void* shared) = 0;
  virtual HRESULT SetTexture(std::uint32_t stage, GfxTexture* texture) = 0;

  // elements: packed D3DVERTEXELEMENT9 records (GfxVertexElement), ending with the end marker.
  virtual HRESULT CreateVertexDeclaration(const void* elements, GfxVertexDeclaration** declaration) = 0;
  virtual HRESULT SetVertexDeclaration(GfxVertexDeclaration* declaration) = 0;
  // function: a shader token stream (32-bit little-endian tokens), ending with the end token 0x0000FFFF.
  virtual HRESULT CreateVertexShader(const void* function, GfxVertexShader** shader) = 0;
  virtual HRESULT SetVertexShader(GfxVertexShader* shader) = 0;
  virtual HRESULT CreatePixelShader(const void* function, GfxPixelShader** shader) = 0;
  virtual HRESULT SetPixelShader(GfxPixelShader* shader) = 0;
  // count float4 registers from startRegister, 4 × count floats.
  virtual HRESULT SetVertexShaderConstantF(std::uint32_t startRegister, const float* data, std::uint32_t count) = 0;
  virtual HRESULT SetPixelShaderConstantF(std::uint32_t startRegister, const float* data, std::uint32_t count) = 0;

  virtual std::uint32_t Release() = 0;

 protected:
  virtual ~GfxDevice() = default;
};

// IDirect3D9: the adapter and device creation.
class Gfx {
 public:
  virtual HRESULT GetAdapterDisplayMode(std::uint32_t adapter, GfxDisplayMode* mode) = 0;
  // qualityLevels may be null.
  virtual HRESULT CheckDeviceMultiSampleType(std::uint32_t adapter, std::uint32_t deviceType,
                                             std::uint32_t surfaceFormat, bool windowed, std::uint32_t multiSampleType,
                                             std::uint32_t* qualityLevels) = 0;
  // The device draws into focusWindow's client area.
  virtual HRESULT CreateDevice(std::uint32_t adapter, std::uint32_t deviceType, Window* focusWindow,
                               std::uint32_t behaviorFlags, GfxPresentParameters* parameters, GfxDevice** device) = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  virtual ~Gfx() = default;
};

}  // namespace kuvo
