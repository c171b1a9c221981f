// Vectors and 4x4 matrices in the Direct3D conventions: left-handed, y up, row vectors
// multiplied on the left (v' = v M), translation in row 4, angles in radians, single precision.
#pragma once
#include <emmintrin.h>

#include <cmath>
#include <cstring>

namespace kuvo {

struct Vector3 {
  float x, y, z;
};

struct Vector4 {
  float x, y, z, w;
};

// m[r][c] is mRC with rows and columns counted from 0: m[3] holds the translation.
struct Matrix4 {
  float m[4][4];
};

// The vector operations are defined here so that the 1 ms physics step can inline them.

inline Vector3& MakeVector3(Vector3& out, float x, float y, float z) {
  out = {x, y, z};
  return out;
}

inline Vector4& MakeVector4(Vector4& out, float x, float y, float z, float w) {
  out = {x, y, z, w};
  return out;
}

inline void VecSubtract(Vector3& out, const Vector3& a, const Vector3& b) { out = {a.x - b.x, a.y - b.y, a.z - b.z}; }

inline void VecAdd(Vector3& out, const Vector3& a, const Vector3& b) { out = {a.x + b.x, a.y + b.y, a.z + b.z}; }

inline void VecScale(Vector3& out, const Vector3& v, float s) { out = {s * v.x, s * v.y, s * v.z}; }

inline void VecLerp(Vector3& out, const Vector3& a, const Vector3& b, float t) {
  float u = 1.0f - t;
  out = {u * a.x + t * b.x, u * a.y + t * b.y, u * a.z + t * b.z};
}

inline float VecDot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline float VecLengthSq(const Vector3& v) { return v.x * v.x + v.y * v.y + v.z * v.z; }

// The square root of a float is exact enough in float: taken in double and rounded back,
// it gives the same bits.
inline float VecLength(const Vector3& v) { return std::sqrt(VecLengthSq(v)); }

inline void VecNormalize(Vector3& out, const Vector3& v) {
  float k = static_cast<float>(1.0 / std::sqrt(static_cast<double>(VecLengthSq(v))));
  VecScale(out, v, k);
}

inline void VecCross(Vector3& out, const Vector3& a, const Vector3& b) {
  out = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

void VecTransformNormal(Vector3& out, const Vector3& v, const Matrix4& m);
void Vec4Cross(Vector4& out, const Vector4& a, const Vector4& b, const Vector4& c);

// Each row goes to memory in one 16-byte store: the products read rows four floats at once straight
// after, and a read spanning several smaller stores waits until all of them have reached the cache.
inline void StoreRow(float row[4], float a, float b, float c, float d) { _mm_storeu_ps(row, _mm_setr_ps(a, b, c, d)); }

inline Matrix4& MatrixIdentity(Matrix4& out) {
  StoreRow(out.m[0], 1.0f, 0.0f, 0.0f, 0.0f);
  StoreRow(out.m[1], 0.0f, 1.0f, 0.0f, 0.0f);
  StoreRow(out.m[2], 0.0f, 0.0f, 1.0f, 0.0f);
  StoreRow(out.m[3], 0.0f, 0.0f, 0.0f, 1.0f);
  return out;
}

inline Matrix4& MatrixTranslation(Matrix4& out, float x, float y, float z) {
  StoreRow(out.m[0], 1.0f, 0.0f, 0.0f, 0.0f);
  StoreRow(out.m[1], 0.0f, 1.0f, 0.0f, 0.0f);
  StoreRow(out.m[2], 0.0f, 0.0f, 1.0f, 0.0f);
  StoreRow(out.m[3], x, y, z, 1.0f);
  return out;
}

inline Matrix4& MatrixScaling(Matrix4& out, float sx, float sy, float sz) {
  StoreRow(out.m[0], sx, 0.0f, 0.0f, 0.0f);
  StoreRow(out.m[1], 0.0f, sy, 0.0f, 0.0f);
  StoreRow(out.m[2], 0.0f, 0.0f, sz, 0.0f);
  StoreRow(out.m[3], 0.0f, 0.0f, 0.0f, 1.0f);
  return out;
}
void MatrixRotationY(Matrix4& out, float angle);

inline void MatrixTranspose(Matrix4& out, const Matrix4& m) {
  Matrix4 t;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) t.m[r][c] = m.m[c][r];
  out = t;
}

// Every frame multiplies a few dozen matrices, so the products are inline and four-wide.
// One row of a product, the row vector `a` times the matrix whose rows are b[0..3]: each of the four sums
// built term by term, the same ((a0 b0 + a1 b1) + a2 b2) + a3 b3 in every element.
inline __m128 RowTimes(__m128 a, const __m128 b[4]) {
  __m128 row = _mm_mul_ps(_mm_shuffle_ps(a, a, 0x00), b[0]);
  row = _mm_add_ps(row, _mm_mul_ps(_mm_shuffle_ps(a, a, 0x55), b[1]));
  row = _mm_add_ps(row, _mm_mul_ps(_mm_shuffle_ps(a, a, 0xAA), b[2]));
  return _mm_add_ps(row, _mm_mul_ps(_mm_shuffle_ps(a, a, 0xFF), b[3]));
}

inline void MatrixRowProduct(float out[4], const float a[4], const Matrix4& b) {
  const __m128 rows[4] = {_mm_loadu_ps(b.m[0]), _mm_loadu_ps(b.m[1]), _mm_loadu_ps(b.m[2]), _mm_loadu_ps(b.m[3])};
  _mm_storeu_ps(out, RowTimes(_mm_loadu_ps(a), rows));
}

// Row by row: row r of the product depends on row r of `a` and on `b` alone.
inline void MatrixMultiply(Matrix4& out, const Matrix4& a, const Matrix4& b) {
  Matrix4 p;
  for (int r = 0; r < 4; ++r) MatrixRowProduct(p.m[r], a.m[r], b);
  out = p;
}

// The last result of a pure function of N floats, kept with its inputs' bits: the same bits give the
// same result, so a camera or a cue that has not moved is not worked out again every frame.
template <int N, class Result>
class KeptResult {
 public:
  template <class Compute>
  const Result& Of(const float (&inputs)[N], Compute compute) {
    if (!known_ || std::memcmp(inputs, inputs_, sizeof inputs_) != 0) {
      compute(result_);
      std::memcpy(inputs_, inputs, sizeof inputs_);
      known_ = true;
    }
    return result_;
  }

 private:
  bool known_ = false;
  float inputs_[N] = {};
  Result result_{};
};

float MatrixDeterminant(const Matrix4& m);
// False, with both outputs untouched, when the determinant is exactly 0.
bool MatrixInverse(Matrix4& out, float& outDeterminant, const Matrix4& m);
void MatrixPerspectiveFov(Matrix4& out, float fovY, float aspect, float zNear, float zFar);
void MatrixLookAt(Matrix4& out, const Vector3& eye, const Vector3& target, const Vector3& up);

}  // namespace kuvo
