// The five draw passes of a frame and the vertex constant block they upload. The passes set no render
// or sampler state: the frame switches those between them.
#include <emmintrin.h>

#include <cstring>

#include "app/modMain.h"
#include "control/modCtrl.h"
#include "geometry/modModels.h"
#include "physics/modPhys.h"
#include "platform/Errors.h"
#include "platform/Gfx.h"
#include "textures/modShader.h"
#include "textures/modTex.h"

namespace kuvo {

float VertexConstants[36];

namespace {

void SetTint(float r, float g, float b, float strength) {
  const float tint[4] = {r, g, b, strength};
  Check(Device->SetPixelShaderConstantF(0, tint, 1), "Device::SetPixelShaderConstantF");
}

void DrawMesh(cMesh& mesh) {
  HRESULT hr = mesh.Draw();
  if (Failed(hr)) throw DeviceError("cMesh::Draw", hr);
}

void Bind(GfxVertexShader* vs, GfxPixelShader* ps) {
  Check(Device->SetVertexShader(vs), "Device::SetVertexShader");
  Check(Device->SetPixelShader(ps), "Device::SetPixelShader");
}

void BindTexture(std::uint32_t stage, GfxTexture* texture) {
  Check(Device->SetTexture(stage, texture), "Device::SetTexture");
}

void BindDeclaration() { Check(Device->SetVertexDeclaration(MeshDeclaration), "Device::SetVertexDeclaration"); }

// The shiny objects' shader pair over the surface detail and its normal map.
void BindReflective() {
  BindDeclaration();
  Bind(ReflectVS, ReflectPS);
  BindTexture(0, SurfaceTexture);
  BindTexture(1, SurfaceBumpTexture);
}

// The last world matrix and its products with the camera. Row r of a product depends only on row r of its
// left factor, and most world matrices of a frame differ from the one before only in row 4 (each ball's
// translation after the last ball's), so while rows 1-3 and the camera are the same bits as before, only
// row 4 of each product is worked out again. That also keeps most products away from the view's subnormal
// entries (a computer's camera glides towards the table centre and comes to rest a few dozen units of
// 2^-149 short of it), where an operation costs many times a normal one.
struct alignas(16) WorldProducts {
  Matrix4 world, view, projection;  // rows on 16-byte boundaries, as they are read
  Matrix4 worldView, worldViewProjection;
  bool known = false;
};
WorldProducts Last;

// Bit for bit, four floats at a time: `rows` rows of four floats.
bool SameRows(const float* a, const float* b, int rows) {
  __m128i same = _mm_set1_epi32(-1);
  for (int r = 0; r < rows; ++r) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 4 * r));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 4 * r));
    same = _mm_and_si128(same, _mm_cmpeq_epi32(x, y));
  }
  return _mm_movemask_epi8(same) == 0xFFFF;
}

}  // namespace

void UploadWorld(const Matrix4& W) {
  WorldProducts& k = Last;
  if (k.known && SameRows(W.m[0], k.world.m[0], 3) && SameRows(ViewMatrix.m[0], k.view.m[0], 4) &&
      SameRows(ProjectionMatrix.m[0], k.projection.m[0], 4)) {
    MatrixRowProduct(k.worldView.m[3], W.m[3], ViewMatrix);
    MatrixRowProduct(k.worldViewProjection.m[3], k.worldView.m[3], ProjectionMatrix);
  } else {
    MatrixMultiply(k.worldView, W, ViewMatrix);
    MatrixMultiply(k.worldViewProjection, k.worldView, ProjectionMatrix);
    k.view = ViewMatrix;
    k.projection = ProjectionMatrix;
    k.known = true;
  }
  k.world = W;
  // The shaders read columns: the transposes turn the row-vector products into them.
  Matrix4 transposed;
  MatrixTranspose(transposed, k.worldViewProjection);
  std::memcpy(&VertexConstants[0], &transposed, sizeof transposed);
  MatrixTranspose(transposed, W);
  std::memcpy(&VertexConstants[16], &transposed, sizeof transposed);
  StoreRow(&VertexConstants[32], CameraEye.x, CameraEye.y, CameraEye.z, 0.0f);
  Check(Device->SetVertexShaderConstantF(0, VertexConstants, 9), "Device::SetVertexShaderConstantF");
}

void DrawTable() {
  BindDeclaration();
  // Stage 2 keeps the lamp image for the rest of the frame: balls and cue reflect it too.
  BindTexture(2, LampReflectionTexture);
  Bind(ReflectVS, ReflectPS);
  BindTexture(0, SurfaceTexture);
  BindTexture(1, SurfaceBumpTexture);

  SetTint(1.0f, 1.0f, 1.0f, 0.3f);
  for (const Matrix4& rim : PocketMatrices) {
    UploadWorld(rim);
    DrawMesh(*PocketMesh);
  }
  Matrix4 identity;
  UploadWorld(MatrixIdentity(identity));
  SetTint(0.8f, 0.8f, 0.7f, 1.0f);
  DrawMesh(*TableMeshes[1]);
  SetTint(0.3f, 0.2f, 0.25f, 0.8f);
  DrawMesh(*TableMeshes[2]);
  SetTint(0.07f, 0.07f, 0.08f, 0.1f);
  DrawMesh(*TableMeshes[3]);

  Bind(LightMapVS, LightMapPS);
  BindTexture(0, ClothTexture);
  BindTexture(1, ClothLightTexture);
  SetTint(1.0f, 1.0f, 1.0f, 0.0f);
  DrawMesh(*TableMeshes[0]);  // bed and cushions
  BindTexture(0, WoodTexture);
  BindTexture(1, WoodLightTexture);
  DrawMesh(*TableMeshes[4]);  // room floor
  BindTexture(0, WhiteTexture);
  BindTexture(1, PanelLightTexture);
  DrawMesh(*TableMeshes[5]);  // wall panels
}

void DrawBalls() {
  BindReflective();
  for (std::int32_t i = 0; i < 16; ++i) {
    if (Balls[i].Status >= BallOffTable) continue;  // a dropping ball is still drawn
    if (i == SelectedBall) SetTint(0.6f, 0.3f, 0.3f, 0.3f);
    else SetTint(1.0f, 1.0f, 1.0f, 0.3f);
    // Balls are drawn unrotated whatever their roll: they all look alike.
    Matrix4 world;
    const Vector3& p = Balls[i].Position;
    UploadWorld(MatrixTranslation(world, p.x, p.y, p.z));
    DrawMesh(*BallMesh);
  }
}

void DrawCue() {
  UploadWorld(CueMatrix);
  BindReflective();
  SetTint(0.3f, 0.2f, 0.2f, 1.0f);
  DrawMesh(*CueMesh);
}

void DrawBallShadows() {
  BindDeclaration();
  Bind(LightMapVS, PlainTexturePS);
  BindTexture(0, ShadowTexture);
  // The ball mesh flattened into a lens 1.6 times as wide, centred on the cloth; its top-down texture
  // set lays the blob flat, and the part below the cloth fails the depth test.
  Matrix4 flatten;
  MatrixScaling(flatten, 1.6f, 0.05f, 1.6f);
  for (const BallState& ball : Balls) {
    if (ball.Status != BallOnTable) continue;
    Matrix4 place, world;
    MatrixTranslation(place, ball.Position.x, -0.0325f, ball.Position.z);
    MatrixMultiply(world, flatten, place);
    UploadWorld(world);
    DrawMesh(*BallMesh);
  }
}

void DrawHud() {
  // The quad's positions are clip-space already: no constants, whatever the camera does.
  BindTexture(0, HudTexture);
  Bind(ScreenVS, PlainTexturePS);
  DrawMesh(*TableMeshes[6]);
}

}  // namespace kuvo
