// Creation and release of the vertex declaration and the six shaders.
#include "textures/modShader.h"

#include <cassert>

#include "app/modMain.h"
#include "platform/Errors.h"
#include "platform/Gfx.h"

namespace kuvo {

GfxVertexDeclaration* MeshDeclaration = nullptr;
GfxVertexShader* ReflectVS = nullptr;
GfxPixelShader* ReflectPS = nullptr;
GfxVertexShader* LightMapVS = nullptr;
GfxPixelShader* LightMapPS = nullptr;
GfxPixelShader* PlainTexturePS = nullptr;
GfxVertexShader* ScreenVS = nullptr;

namespace {

template <class T>
void ReleaseHandle(T*& handle) {
  if (handle) handle->Release();
  handle = nullptr;
}

void CreateVertexShader(const unsigned char* tokens, GfxVertexShader*& shader) {
  Check(Device->CreateVertexShader(tokens, &shader), "Device::CreateVertexShader");
}

void CreatePixelShader(const unsigned char* tokens, GfxPixelShader*& shader) {
  Check(Device->CreatePixelShader(tokens, &shader), "Device::CreatePixelShader");
}

}  // namespace

void PackVertexElement(std::array<std::uint8_t, MeshDeclarationBytes>& out, std::size_t index, std::uint16_t stream,
                       std::uint16_t offset, std::uint8_t type, std::uint8_t method, std::uint8_t usage,
                       std::uint8_t usageIndex) {
  assert(index < MeshDeclarationBytes / 8);
  std::uint8_t* e = out.data() + 8 * index;
  e[0] = static_cast<std::uint8_t>(stream & 0xFF);
  e[1] = static_cast<std::uint8_t>(stream >> 8);
  e[2] = static_cast<std::uint8_t>(offset & 0xFF);
  e[3] = static_cast<std::uint8_t>(offset >> 8);
  e[4] = type;
  e[5] = method;
  e[6] = usage;
  e[7] = usageIndex;
}

std::array<std::uint8_t, MeshDeclarationBytes> PackMeshDeclaration() {
  // The MeshVertex fields at their offsets: position, normal, texture sets 0 and 1.
  std::array<std::uint8_t, MeshDeclarationBytes> d{};
  PackVertexElement(d, 0, 0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0);
  PackVertexElement(d, 1, 0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0);
  PackVertexElement(d, 2, 0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0);
  PackVertexElement(d, 3, 0, 32, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 1);
  PackVertexElement(d, 4, D3DDECL_END_STREAM, 0, D3DDECLTYPE_UNUSED, 0, 0, 0);
  return d;
}

void CreateShaders() {
  const std::array<std::uint8_t, MeshDeclarationBytes> declaration = PackMeshDeclaration();
  Check(Device->CreateVertexDeclaration(declaration.data(), &MeshDeclaration), "Device::CreateVertexDeclaration");
  // Resources 102..107, handed over byte for byte.
  CreateVertexShader(ShaderReflectVS, ReflectVS);
  CreatePixelShader(ShaderReflectPS, ReflectPS);
  CreateVertexShader(ShaderLightMapVS, LightMapVS);
  CreatePixelShader(ShaderLightMapPS, LightMapPS);
  CreatePixelShader(ShaderPlainTexturePS, PlainTexturePS);
  CreateVertexShader(ShaderScreenVS, ScreenVS);
}

void ReleaseShaders() {
  ReleaseHandle(MeshDeclaration);
  ReleaseHandle(ReflectVS);
  ReleaseHandle(ReflectPS);
  ReleaseHandle(LightMapVS);
  ReleaseHandle(LightMapPS);
  ReleaseHandle(PlainTexturePS);
  ReleaseHandle(ScreenVS);
}

}  // namespace kuvo
