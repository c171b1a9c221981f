// Direct3D 9 values the game passes, turned into OpenGL's. One row per Direct3D value, in its numeric order.
#pragma once
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <mojoshader.h>

#include <cstdint>

namespace kuvo::gl {

// D3DBLEND (index = value); Direct3D 9 defines no value 0.
constexpr GLenum kBlend[] = {
    GL_NONE,                   // (no D3DBLEND 0)
    GL_ZERO,                   // D3DBLEND_ZERO (1)
    GL_ONE,                    // D3DBLEND_ONE (2)
    GL_SRC_COLOR,              // D3DBLEND_SRCCOLOR (3)
    GL_ONE_MINUS_SRC_COLOR,    // D3DBLEND_INVSRCCOLOR (4)
    GL_SRC_ALPHA,              // D3DBLEND_SRCALPHA (5)
    GL_ONE_MINUS_SRC_ALPHA,    // D3DBLEND_INVSRCALPHA (6)
    GL_DST_ALPHA,              // D3DBLEND_DESTALPHA (7)
    GL_ONE_MINUS_DST_ALPHA,    // D3DBLEND_INVDESTALPHA (8)
    GL_DST_COLOR,              // D3DBLEND_DESTCOLOR (9)
    GL_ONE_MINUS_DST_COLOR,    // D3DBLEND_INVDESTCOLOR (10)
    GL_SRC_ALPHA_SATURATE,     // D3DBLEND_SRCALPHASAT (11)
};
static_assert(sizeof(kBlend) / sizeof(kBlend[0]) == 12);

// D3DCULL (index = value): which winding, as seen on screen, is thrown away. Direct3D's screen has y
// down and GL's y up, but both draw the same picture, so "clockwise on screen" means the same in both;
// GL is told which winding is the front and culls the back.
struct CullMode {
  bool enabled;
  GLenum frontFace;  // the winding that is kept
};
constexpr CullMode kCull[] = {
    {false, GL_CCW},  // (no D3DCULL 0)
    {false, GL_CCW},  // D3DCULL_NONE (1): nothing culled
    {true, GL_CCW},   // D3DCULL_CW (2): clockwise culled, counter-clockwise kept
    {true, GL_CW},    // D3DCULL_CCW (3): counter-clockwise culled, clockwise kept
};
static_assert(sizeof(kCull) / sizeof(kCull[0]) == 4);

// D3DTEXTUREADDRESS (index = value).
constexpr GLenum kAddress[] = {
    0,                     // (no value 0)
    GL_REPEAT,             // D3DTADDRESS_WRAP (1)
    GL_MIRRORED_REPEAT,    // D3DTADDRESS_MIRROR (2)
    GL_CLAMP_TO_EDGE,      // D3DTADDRESS_CLAMP (3)
    GL_CLAMP_TO_BORDER,    // D3DTADDRESS_BORDER (4)
    GL_MIRROR_CLAMP_EXT,   // D3DTADDRESS_MIRRORONCE (5)
};
static_assert(sizeof(kAddress) / sizeof(kAddress[0]) == 6);

// Minifying filter by [D3DSAMP_MINFILTER][D3DSAMP_MIPFILTER]; anisotropic minifies linearly and adds the
// anisotropy set separately.
constexpr GLenum kMinFilter[4][3] = {
    // mip NONE (0)    mip POINT (1)                 mip LINEAR (2)
    {GL_NEAREST, GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST_MIPMAP_LINEAR},  // D3DTEXF_NONE (0), taken as point
    {GL_NEAREST, GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST_MIPMAP_LINEAR},  // D3DTEXF_POINT (1)
    {GL_LINEAR, GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR_MIPMAP_LINEAR},     // D3DTEXF_LINEAR (2)
    {GL_LINEAR, GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR_MIPMAP_LINEAR},     // D3DTEXF_ANISOTROPIC (3)
};

// Magnifying filter by D3DSAMP_MAGFILTER.
constexpr GLenum kMagFilter[] = {
    GL_NEAREST,  // D3DTEXF_NONE (0), taken as point
    GL_NEAREST,  // D3DTEXF_POINT (1)
    GL_LINEAR,   // D3DTEXF_LINEAR (2)
    GL_LINEAR,   // D3DTEXF_ANISOTROPIC (3), with the anisotropy set separately
};
static_assert(sizeof(kMagFilter) / sizeof(kMagFilter[0]) == 4);

// D3DDECLTYPE (index = value) the device can feed to a shader: float vectors only.
constexpr GLint kDeclTypeSize[] = {
    1,  // D3DDECLTYPE_FLOAT1 (0)
    2,  // D3DDECLTYPE_FLOAT2 (1)
    3,  // D3DDECLTYPE_FLOAT3 (2)
    4,  // D3DDECLTYPE_FLOAT4 (3)
};
static_assert(sizeof(kDeclTypeSize) / sizeof(kDeclTypeSize[0]) == 4);

// D3DDECLUSAGE (index = value) as MojoShader names the same shader inputs.
constexpr MOJOSHADER_usage kUsage[] = {
    MOJOSHADER_USAGE_POSITION,      // D3DDECLUSAGE_POSITION (0)
    MOJOSHADER_USAGE_BLENDWEIGHT,   // D3DDECLUSAGE_BLENDWEIGHT (1)
    MOJOSHADER_USAGE_BLENDINDICES,  // D3DDECLUSAGE_BLENDINDICES (2)
    MOJOSHADER_USAGE_NORMAL,        // D3DDECLUSAGE_NORMAL (3)
    MOJOSHADER_USAGE_POINTSIZE,     // D3DDECLUSAGE_PSIZE (4)
    MOJOSHADER_USAGE_TEXCOORD,      // D3DDECLUSAGE_TEXCOORD (5)
    MOJOSHADER_USAGE_TANGENT,       // D3DDECLUSAGE_TANGENT (6)
    MOJOSHADER_USAGE_BINORMAL,      // D3DDECLUSAGE_BINORMAL (7)
    MOJOSHADER_USAGE_TESSFACTOR,    // D3DDECLUSAGE_TESSFACTOR (8)
    MOJOSHADER_USAGE_POSITIONT,     // D3DDECLUSAGE_POSITIONT (9)
    MOJOSHADER_USAGE_COLOR,         // D3DDECLUSAGE_COLOR (10)
    MOJOSHADER_USAGE_FOG,           // D3DDECLUSAGE_FOG (11)
    MOJOSHADER_USAGE_DEPTH,         // D3DDECLUSAGE_DEPTH (12)
    MOJOSHADER_USAGE_SAMPLE,        // D3DDECLUSAGE_SAMPLE (13)
};
static_assert(sizeof(kUsage) / sizeof(kUsage[0]) == 14);

// D3DPRIMITIVETYPE (index = value): the GL mode, and indices = a × primitives + b.
struct Primitive {
  GLenum mode;
  std::uint32_t perPrimitive, extra;
};
constexpr Primitive kPrimitive[] = {
    {0, 0, 0},                  // (no value 0)
    {GL_POINTS, 1, 0},          // D3DPT_POINTLIST (1)
    {GL_LINES, 2, 0},           // D3DPT_LINELIST (2)
    {GL_LINE_STRIP, 1, 1},      // D3DPT_LINESTRIP (3)
    {GL_TRIANGLES, 3, 0},       // D3DPT_TRIANGLELIST (4)
    {GL_TRIANGLE_STRIP, 1, 2},  // D3DPT_TRIANGLESTRIP (5)
    {GL_TRIANGLE_FAN, 1, 2},    // D3DPT_TRIANGLEFAN (6)
};
static_assert(sizeof(kPrimitive) / sizeof(kPrimitive[0]) == 7);

template <class T, std::size_t N>
constexpr bool InTable(const T (&)[N], std::uint32_t value) {
  return value < N;
}

}  // namespace kuvo::gl
