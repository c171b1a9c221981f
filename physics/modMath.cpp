// Vector and matrix operations. Every operation that reads its inputs more than once
// computes the whole result before storing it, so `out` may alias an input.
#include "physics/modMath.h"

#include <cmath>

namespace kuvo {

void VecTransformNormal(Vector3& out, const Vector3& v, const Matrix4& m) {
  out = {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0],
         v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
         v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]};
}

void Vec4Cross(Vector4& out, const Vector4& a, const Vector4& b, const Vector4& c) {
  // The six 2x2 minors of b and c.
  float p = b.x * c.y - b.y * c.x;
  float q = b.x * c.z - b.z * c.x;
  float r = b.x * c.w - b.w * c.x;
  float s = b.y * c.z - b.z * c.y;
  float t = b.y * c.w - b.w * c.y;
  float u = b.z * c.w - b.w * c.z;
  out = {a.y * u - a.z * t + a.w * s,
         -(a.x * u - a.z * r + a.w * q),
         a.x * t - a.y * r + a.w * p,
         -(a.x * s - a.y * q + a.z * p)};
}

void MatrixRotationY(Matrix4& out, float angle) {
  float c = std::cos(angle);
  float s = std::sin(angle);
  out = {};
  out.m[0][0] = c;
  out.m[0][2] = -s;
  out.m[1][1] = 1.0f;
  out.m[2][0] = s;
  out.m[2][2] = c;
  out.m[3][3] = 1.0f;
}

static Vector4 Column(const Matrix4& m, int c) { return {m.m[0][c], m.m[1][c], m.m[2][c], m.m[3][c]}; }

static float Dot4(const Vector4& a, const Vector4& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }

float MatrixDeterminant(const Matrix4& m) {
  Vector4 v;
  Vec4Cross(v, Column(m, 0), Column(m, 1), Column(m, 2));
  return -Dot4(Column(m, 3), v);
}

bool MatrixInverse(Matrix4& out, float& outDeterminant, const Matrix4& m) {
  float det = MatrixDeterminant(m);
  if (det == 0.0f) return false;
  outDeterminant = det;
  const Matrix4 copy = m;
  Matrix4 inverse;
  for (int i = 0; i < 4; ++i) {
    Vector4 cols[3];
    for (int j = 0, n = 0; j < 4; ++j)
      if (j != i) cols[n++] = Column(copy, j);
    Vector4 v;
    Vec4Cross(v, cols[0], cols[1], cols[2]);
    // Rows 2 and 4 (counted from 1) take the negative sign.
    float sign = (i % 2 == 1) ? -1.0f : 1.0f;
    inverse.m[i][0] = sign * v.x / det;
    inverse.m[i][1] = sign * v.y / det;
    inverse.m[i][2] = sign * v.z / det;
    inverse.m[i][3] = sign * v.w / det;
  }
  out = inverse;
  return true;
}

void MatrixPerspectiveFov(Matrix4& out, float fovY, float aspect, float zNear, float zFar) {
  float yScale = static_cast<float>(std::cos(fovY / 2.0) / std::sin(fovY / 2.0));
  out = {};
  out.m[0][0] = yScale / aspect;
  out.m[1][1] = yScale;
  out.m[2][2] = zFar / (zFar - zNear);
  out.m[2][3] = 1.0f;
  out.m[3][2] = -zFar * zNear / (zFar - zNear);
}

void MatrixLookAt(Matrix4& out, const Vector3& eye, const Vector3& target, const Vector3& up) {
  Vector3 zAxis, xAxis, yAxis;
  VecSubtract(zAxis, target, eye);
  VecNormalize(zAxis, zAxis);
  VecCross(xAxis, up, zAxis);
  VecNormalize(xAxis, xAxis);
  VecCross(yAxis, zAxis, xAxis);
  out = {{{xAxis.x, yAxis.x, zAxis.x, 0.0f},
          {xAxis.y, yAxis.y, zAxis.y, 0.0f},
          {xAxis.z, yAxis.z, zAxis.z, 0.0f},
          {-VecDot(xAxis, eye), -VecDot(yAxis, eye), -VecDot(zAxis, eye), 1.0f}}};
}

}  // namespace kuvo
