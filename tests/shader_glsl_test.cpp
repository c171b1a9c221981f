// The embedded shader streams as the OpenGL backend hands them to MojoShader: each one parses under the
// glsl120 profile without errors and comes out as the right kind of GLSL program.
#include <gtest/gtest.h>
#include <mojoshader.h>

#include <string>

#include "textures/modShader.h"

using namespace kuvo;

namespace {

struct Stream {
  const char* name;
  const unsigned char* bytes;
  std::size_t size;
  MOJOSHADER_shaderType type;
};

TEST(ShaderGlsl, EveryStreamParsesUnderGlsl120) {
  const Stream streams[] = {
      {"ReflectVS", ShaderReflectVS, ShaderReflectVSSize, MOJOSHADER_TYPE_VERTEX},
      {"ReflectPS", ShaderReflectPS, ShaderReflectPSSize, MOJOSHADER_TYPE_PIXEL},
      {"LightMapVS", ShaderLightMapVS, ShaderLightMapVSSize, MOJOSHADER_TYPE_VERTEX},
      {"LightMapPS", ShaderLightMapPS, ShaderLightMapPSSize, MOJOSHADER_TYPE_PIXEL},
      {"PlainTexturePS", ShaderPlainTexturePS, ShaderPlainTexturePSSize, MOJOSHADER_TYPE_PIXEL},
      {"ScreenVS", ShaderScreenVS, ShaderScreenVSSize, MOJOSHADER_TYPE_VERTEX},
  };
  for (const Stream& s : streams) {
    SCOPED_TRACE(s.name);
    const MOJOSHADER_parseData* data =
        MOJOSHADER_parse(MOJOSHADER_PROFILE_GLSL120, "main", s.bytes, static_cast<unsigned>(s.size), nullptr, 0,
                         nullptr, 0, nullptr, nullptr, nullptr);
    for (int e = 0; e < data->error_count; ++e) ADD_FAILURE() << data->errors[e].error;
    EXPECT_EQ(data->error_count, 0);
    EXPECT_EQ(data->shader_type, s.type);
    EXPECT_EQ(data->major_ver, 2);
    EXPECT_EQ(data->minor_ver, 0);
    ASSERT_NE(data->output, nullptr);
    EXPECT_NE(std::string(data->output, data->output_len).find("void main()"), std::string::npos);
    MOJOSHADER_freeParseData(data);
  }
}

}  // namespace
