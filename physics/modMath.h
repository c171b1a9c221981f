// Vectors and 4x4 matrices in the Direct3D conventions: left-handed, y up, row vectors
// multiplied on the left (v' = v M), translation in row 4, angles in radians, single precision.
#pragma once

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

Vector3& MakeVector3(Vector3& out, float x, float y, float z);
Vector4& MakeVector4(Vector4& out, float x, float y, float z, float w);
void VecSubtract(Vector3& out, const Vector3& a, const Vector3& b);
void VecAdd(Vector3& out, const Vector3& a, const Vector3& b);
void VecScale(Vector3& out, const Vector3& v, float s);
void VecLerp(Vector3& out, const Vector3& a, const Vector3& b, float t);
float VecDot(const Vector3& a, const Vector3& b);
float VecLengthSq(const Vector3& v);
float VecLength(const Vector3& v);
void VecNormalize(Vector3& out, const Vector3& v);
void VecCross(Vector3& out, const Vector3& a, const Vector3& b);
void VecTransformNormal(Vector3& out, const Vector3& v, const Matrix4& m);
void Vec4Cross(Vector4& out, const Vector4& a, const Vector4& b, const Vector4& c);

Matrix4& MatrixIdentity(Matrix4& out);
Matrix4& MatrixTranslation(Matrix4& out, float x, float y, float z);
Matrix4& MatrixScaling(Matrix4& out, float sx, float sy, float sz);
void MatrixRotationY(Matrix4& out, float angle);
void MatrixTranspose(Matrix4& out, const Matrix4& m);
void MatrixMultiply(Matrix4& out, const Matrix4& a, const Matrix4& b);
float MatrixDeterminant(const Matrix4& m);
// False, with both outputs untouched, when the determinant is exactly 0.
bool MatrixInverse(Matrix4& out, float& outDeterminant, const Matrix4& m);
void MatrixPerspectiveFov(Matrix4& out, float fovY, float aspect, float zNear, float zFar);
void MatrixLookAt(Matrix4& out, const Vector3& eye, const Vector3& target, const Vector3& up);

}  // namespace kuvo
