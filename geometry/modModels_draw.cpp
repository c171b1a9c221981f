// The five draw passes of a frame and the vertex constant block they upload. The passes set no render
// or sampler state: the frame switches those between them.
#include <emmintrin.h>

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

// The last world matrix's rows 1-3 and its products with the camera. Row r of a product depends only on
// row r of its left factor, and most world matrices of a frame differ from the one before only in row 4
// (each ball's translation after the last ball's), so while rows 1-3 and the camera are the same bits as
// before, only row 4 of each product is worked out again.
struct WorldProducts {
  __m128 world[3];
  __m128 view[4], projection[4];
  __m128 worldView[4], worldViewProjection[4];
  bool known = false;
};
WorldProducts Last;

void LoadRows(__m128 out[4], const Matrix4& m) {
  for (int r = 0; r < 4; ++r) out[r] = _mm_loadu_ps(m.m[r]);
}

// Bit for bit: the four-float rows of `m` against those kept.
bool SameRows(const Matrix4& m, const __m128 kept[], int rows) {
  __m128i same = _mm_set1_epi32(-1);
  for (int r = 0; r < rows; ++r)
    same = _mm_and_si128(same, _mm_cmpeq_epi32(_mm_castps_si128(_mm_loadu_ps(m.m[r])), _mm_castps_si128(kept[r])));
  return _mm_movemask_epi8(same) == 0xFFFF;
}

// Four rows stored as four columns: the shaders read columns, and the transpose turns the row-vector
// products into them.
void StoreTransposed(float* out, __m128 r0, __m128 r1, __m128 r2, __m128 r3) {
  _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
  _mm_storeu_ps(out, r0);
  _mm_storeu_ps(out + 4, r1);
  _mm_storeu_ps(out + 8, r2);
  _mm_storeu_ps(out + 12, r3);
}

}  // namespace

void UploadWorld(const Matrix4& W) {
  WorldProducts& k = Last;
  __m128 world[4];
  LoadRows(world, W);
  if (k.known && SameRows(W, k.world, 3) && SameRows(ViewMatrix, k.view, 4) &&
      SameRows(ProjectionMatrix, k.projection, 4)) {
    k.worldView[3] = RowTimes(world[3], k.view);
    k.worldViewProjection[3] = RowTimes(k.worldView[3], k.projection);
  } else {
    LoadRows(k.view, ViewMatrix);
    LoadRows(k.projection, ProjectionMatrix);
    for (int r = 0; r < 4; ++r) {
      k.worldView[r] = RowTimes(world[r], k.view);
      k.worldViewProjection[r] = RowTimes(k.worldView[r], k.projection);
    }
    k.known = true;
  }
  for (int r = 0; r < 3; ++r) k.world[r] = world[r];
  const __m128* wvp = k.worldViewProjection;
  StoreTransposed(&VertexConstants[0], wvp[0], wvp[1], wvp[2], wvp[3]);
  StoreTransposed(&VertexConstants[16], world[0], world[1], world[2], world[3]);
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
