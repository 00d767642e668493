// The view rotation of the camera and its inverse, rebuilt from the camera axes on every drawn
// evolution frame.
#include "galaxy.h"
#include "graphics.h"

namespace {

constexpr int CameraAxes = 3;

}  // namespace

void CreateViewMatrix() {
    const strBod unitAxis[CameraAxes] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    strBod* const cameraAxis[CameraAxes] = {&G.ShipRight, &G.ShipUp, &G.ShipBack};

    // The turns keep the axes unit only up to rounding; rescaling them here, in G itself, keeps
    // that error from piling up over a long flight.
    for (strBod* axis : cameraAxis) Normalize(axis);

    // Row r holds camera axis r, so a world direction comes out in camera components.
    for (int r = 0; r < CameraAxes; ++r) {
        for (int c = 0; c < CameraAxes; ++c)
            G.ViewMatrix[idx(r, c)] = static_cast<float>(CosAngle(cameraAxis[r], &unitAxis[c]));
        G.ViewMatrix[idx(r, 3)] = 0.0f;
        G.ViewMatrix[idx(3, r)] = 0.0f;
    }
    G.ViewMatrix[idx(3, 3)] = 1.0f;

    InvertMatrix(G.ViewMatrix, G.ViewMatrixInv);
}
