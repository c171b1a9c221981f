// shader-asm: assembles one Direct3D 9 shader listing into the raw token stream the game embeds.
// Usage: shader-asm <listing> <output> <expected bytes>. Fails (and writes nothing) on an assembler
// error, on any comment block left in the stream, or when the size is not the expected one.
#include <mojoshader.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The tokens are written as they lie in memory; the game reads them as little-endian words.
static_assert(std::endian::native == std::endian::little);

constexpr std::uint32_t CommentOpcode = 0xFFFE;
constexpr std::uint32_t EndToken = 0x0000FFFF;
// MojoShader's assembler always puts one 10-dword comment block (its signature) after the version token.
constexpr std::uint32_t AssemblerComment = 0x000AFFFE;
constexpr std::size_t AssemblerCommentTokens = 1 + 10;

int Fail(const std::string& listing, const std::string& message) {
  std::cerr << listing << ": " << message << "\n";
  return 1;
}

// Walks the instructions after the version token: every length must stay inside the stream, no comment
// block may remain, and the end token must be the last token.
bool CheckStream(const std::vector<std::uint32_t>& tokens, std::string& problem) {
  std::size_t i = 1;
  while (i < tokens.size()) {
    std::uint32_t t = tokens[i];
    if (t == EndToken) {
      if (i + 1 == tokens.size()) return true;
      problem = "tokens after the end token";
      return false;
    }
    if ((t & 0xFFFF) == CommentOpcode) {
      problem = "a comment block remains at token " + std::to_string(i);
      return false;
    }
    // Shader model 2: bits 24..27 count the tokens that follow the instruction token.
    i += 1 + ((t >> 24) & 0x0F);
  }
  problem = "no end token";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: shader-asm <listing> <output> <expected bytes>\n";
    return 2;
  }
  const std::string listing = argv[1];
  const std::string output = argv[2];
  const std::size_t expected = std::strtoul(argv[3], nullptr, 10);
  std::remove(output.c_str());  // a failed run leaves no stale stream behind

  std::ifstream in(listing, std::ios::binary);
  if (!in) return Fail(listing, "cannot read");
  std::ostringstream text;
  text << in.rdbuf();
  const std::string source = text.str();

  const MOJOSHADER_parseData* data =
      MOJOSHADER_assemble(listing.c_str(), source.data(), static_cast<unsigned>(source.size()), nullptr, 0, nullptr,
                          0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (data->error_count > 0) {
    for (int e = 0; e < data->error_count; ++e)
      std::cerr << listing << ":" << data->errors[e].error_position << ": " << data->errors[e].error << "\n";
    MOJOSHADER_freeParseData(data);
    return 1;
  }
  std::vector<std::uint32_t> tokens(static_cast<std::size_t>(data->output_len) / 4);
  std::memcpy(tokens.data(), data->output, tokens.size() * 4);
  MOJOSHADER_freeParseData(data);

  if (tokens.size() < 1 + AssemblerCommentTokens || tokens[1] != AssemblerComment)
    return Fail(listing, "the assembler's comment block is not where it should be");
  tokens.erase(tokens.begin() + 1, tokens.begin() + 1 + AssemblerCommentTokens);

  std::string problem;
  if (!CheckStream(tokens, problem)) return Fail(listing, problem);
  if (tokens.size() * 4 != expected)
    return Fail(listing, std::to_string(tokens.size() * 4) + " bytes, expected " + std::to_string(expected));

  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(tokens.data()), static_cast<std::streamsize>(tokens.size() * 4));
  out.close();
  if (!out) {
    std::remove(output.c_str());
    return Fail(output, "cannot write");
  }
  return 0;
}
