// The vertex declaration of the mesh vertex and the six shaders every draw pass binds.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace kuvo {

class GfxVertexDeclaration;
class GfxVertexShader;
class GfxPixelShader;

// Owned by CreateShaders and ReleaseShaders; the draw passes bind them. Null until created.
extern GfxVertexDeclaration* MeshDeclaration;  // the 40-byte MeshVertex: position, normal, two texture sets
extern GfxVertexShader* ReflectVS;             // shiny objects: lamp reflection along the reflected view ray
extern GfxPixelShader* ReflectPS;
extern GfxVertexShader* LightMapVS;            // diffuse surfaces with a light map, and the ball shadows
extern GfxPixelShader* LightMapPS;
extern GfxPixelShader* PlainTexturePS;         // stage 0 through texture set 1: shadows and the text line
extern GfxVertexShader* ScreenVS;              // the text line, positions already in clip space

// The finished token streams (assembled from resources/shaders at build time), in resource order 102..107.
extern const unsigned char ShaderReflectVS[];
extern const std::size_t ShaderReflectVSSize;
extern const unsigned char ShaderReflectPS[];
extern const std::size_t ShaderReflectPSSize;
extern const unsigned char ShaderLightMapVS[];
extern const std::size_t ShaderLightMapVSSize;
extern const unsigned char ShaderLightMapPS[];
extern const std::size_t ShaderLightMapPSSize;
extern const unsigned char ShaderPlainTexturePS[];
extern const std::size_t ShaderPlainTexturePSSize;
extern const unsigned char ShaderScreenVS[];
extern const std::size_t ShaderScreenVSSize;

// MeshDeclaration's five elements, the end marker included, packed as CreateVertexDeclaration reads them.
constexpr std::size_t MeshDeclarationBytes = 5 * 8;

// Packs element `index` into bytes 8 × index .. 8 × index + 7 of `out`: Stream and Offset as 16-bit words,
// then Type, Method, Usage and UsageIndex one byte each, little-endian (the D3DVERTEXELEMENT9 layout).
void PackVertexElement(std::array<std::uint8_t, MeshDeclarationBytes>& out, std::size_t index, std::uint16_t stream,
                       std::uint16_t offset, std::uint8_t type, std::uint8_t method, std::uint8_t usage,
                       std::uint8_t usageIndex);
// The packed MeshDeclaration elements.
std::array<std::uint8_t, MeshDeclarationBytes> PackMeshDeclaration();

// Creates MeshDeclaration, then the shaders in resource order. Needs Device; a failing call raises DeviceError.
void CreateShaders();
// Releases the declaration, then the shaders in resource order, setting every handle to null.
void ReleaseShaders();

}  // namespace kuvo
