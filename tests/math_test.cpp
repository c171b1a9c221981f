// Vectors and matrices: the conventions every transform of the game relies on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "physics/modMath.h"

using namespace kuvo;

namespace {

Matrix4 SampleMatrix() {
  return {{{2.0f, 0.5f, -1.0f, 0.0f}, {0.25f, 3.0f, 0.75f, 0.0f}, {1.0f, -2.0f, 4.0f, 0.0f}, {0.3f, 0.7f, -0.2f, 1.0f}}};
}

void ExpectNear(const Matrix4& a, const Matrix4& b, float tolerance) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << "at " << r << "," << c;
}

bool SameBits(const Matrix4& a, const Matrix4& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(MathTest, InverseOfSingularMatrixLeavesOutputsUntouched) {
  Matrix4 singular = SampleMatrix();
  for (int c = 0; c < 4; ++c) singular.m[2][c] = 2.0f * singular.m[1][c];  // two dependent rows
  EXPECT_EQ(MatrixDeterminant(singular), 0.0f);
  Matrix4 out;
  std::memset(&out, 0x5A, sizeof out);
  const Matrix4 before = out;
  float det = 123.0f;
  EXPECT_FALSE(MatrixInverse(out, det, singular));
  EXPECT_TRUE(SameBits(out, before));
  EXPECT_EQ(det, 123.0f);
}

TEST(MathTest, InverseUndoesTheMatrixAndWorksInPlace) {
  Matrix4 identity, inverse, product;
  MatrixIdentity(identity);
  float det = 0;
  ASSERT_TRUE(MatrixInverse(inverse, det, identity));
  EXPECT_EQ(det, 1.0f);
  ExpectNear(inverse, identity, 0.0f);

  const Matrix4 m = SampleMatrix();
  ASSERT_TRUE(MatrixInverse(inverse, det, m));
  EXPECT_NEAR(det, 30.375f, 1e-4);  // the upper 3x3 by cofactors
  MatrixMultiply(product, m, inverse);
  ExpectNear(product, identity, 1e-5f);

  Matrix4 inPlace = m;
  ASSERT_TRUE(MatrixInverse(inPlace, det, inPlace));
  EXPECT_TRUE(SameBits(inPlace, inverse));
}

TEST(MathTest, MultiplyMayWriteOverEitherInput) {
  Matrix4 a = SampleMatrix(), b, separate;
  MatrixRotationY(b, 0.7f);
  b.m[3][0] = 2.0f;
  MatrixMultiply(separate, a, b);

  Matrix4 left = a;
  MatrixMultiply(left, left, b);
  EXPECT_TRUE(SameBits(left, separate));
  Matrix4 right = b;
  MatrixMultiply(right, a, right);
  EXPECT_TRUE(SameBits(right, separate));

  // Row vectors: translation applies after the rotation, so a point at the origin lands on the translation.
  EXPECT_FLOAT_EQ(separate.m[3][0], a.m[3][0] * b.m[0][0] + a.m[3][1] * b.m[1][0] + a.m[3][2] * b.m[2][0] + 2.0f);
}

TEST(MathTest, RotationYTurnsXTowardsMinusZ) {
  for (float angle : {0.0f, 0.78539824f, 1.5707965f, 2.5f, -1.0f}) {
    Matrix4 r;
    MatrixRotationY(r, angle);
    Vector3 v;
    VecTransformNormal(v, Vector3{1, 0, 0}, r);
    EXPECT_FLOAT_EQ(v.x, std::cos(angle));
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_FLOAT_EQ(v.z, -std::sin(angle));
  }
}

TEST(MathTest, LookAtAlongZIsIdentityRotation) {
  Matrix4 view, expected;
  MatrixLookAt(view, Vector3{0, 0, -1}, Vector3{0, 0, 0}, Vector3{0, 1, 0});
  MatrixIdentity(expected);
  expected.m[3][2] = 1.0f;
  ExpectNear(view, expected, 0.0f);

  // Looking along +x from the origin: the target ends up straight ahead on the view's +z axis.
  Vector3 eye{0, 0, 0}, target{5, 0, 0};
  MatrixLookAt(view, eye, target, Vector3{0, 1, 0});
  EXPECT_FLOAT_EQ(view.m[0][2], 1.0f);  // world x maps to view z
  EXPECT_FLOAT_EQ(view.m[2][0], -1.0f);  // world z maps to view -x (left-handed)
}

TEST(MathTest, PerspectiveFovFollowsTheLeftHandedLayout) {
  Matrix4 p;
  MatrixPerspectiveFov(p, 1.0f, 1.5f, 0.01f, 16.0f);
  float yScale = static_cast<float>(1.0 / std::tan(0.5));
  EXPECT_FLOAT_EQ(p.m[1][1], yScale);
  EXPECT_FLOAT_EQ(p.m[0][0], yScale / 1.5f);
  EXPECT_FLOAT_EQ(p.m[2][2], 16.0f / 15.99f);
  EXPECT_EQ(p.m[2][3], 1.0f);
  EXPECT_FLOAT_EQ(p.m[3][2], -0.16f / 15.99f);
  EXPECT_EQ(p.m[3][3], 0.0f);
  EXPECT_EQ(p.m[0][1], 0.0f);
}

TEST(MathTest, VectorHelpers) {
  Vector3 a{1, 2, 3}, b{-4, 0.5f, 8}, out;
  VecLerp(out, a, b, 0.0f);
  EXPECT_EQ(out.x, a.x);
  EXPECT_EQ(out.z, a.z);
  VecLerp(out, a, b, 1.0f);
  EXPECT_EQ(out.x, b.x);
  EXPECT_EQ(out.y, b.y);

  VecCross(out, Vector3{1, 0, 0}, Vector3{0, 1, 0});
  EXPECT_EQ(out.z, 1.0f);
  Vector3 c = a;
  VecCross(c, c, b);  // in place
  EXPECT_NEAR(VecDot(c, a), 0.0f, 1e-5);
  EXPECT_NEAR(VecDot(c, b), 0.0f, 1e-4);

  Vector3 n{3, 0, 4};
  VecNormalize(n, n);
  EXPECT_FLOAT_EQ(n.x, 0.6f);
  EXPECT_FLOAT_EQ(n.z, 0.8f);
  EXPECT_FLOAT_EQ(VecLength(Vector3{3, 0, 4}), 5.0f);
  EXPECT_EQ(VecLengthSq(Vector3{3, 0, 4}), 25.0f);

  // The 4D cross product is orthogonal to its three inputs.
  Vector4 x{1, 2, 0.5f, -1}, y{0, 1, 3, 2}, z{2, -1, 1, 0.25f}, w;
  Vec4Cross(w, x, y, z);
  for (const Vector4& v : {x, y, z}) EXPECT_NEAR(w.x * v.x + w.y * v.y + w.z * v.z + w.w * v.w, 0.0f, 1e-4);

  Matrix4 s;
  MatrixScaling(s, 2, 3, 4);
  EXPECT_EQ(MatrixDeterminant(s), 24.0f);
}
