// The star field of an evolution frame in one array draw. The per-star path changes the modelview
// matrix for every sprite, which makes the GL flush each sprite as a draw of its own; here the
// corners are placed in eye space on the CPU, where the view rotation and the billboard rotation
// cancel exactly, and all sprites go to the GL at once. The depth order is kept from frame to frame,
// since between two frames the camera and the stars move little and the order barely changes.
#include <GL/gl.h>

#include <cmath>

#include "galaxy.h"
#include "graphics.h"
#include "system.h"
#include "utility.h"

namespace {

constexpr int SpriteCorners = 4;
constexpr int VertexFloats = 3;
constexpr int TexCoordFloats = 2;
constexpr int ColorFloats = 4;
constexpr int SpriteAxes = 3;

// The corners in the order of DrawBitmap: offsets in units of the half side along the eye x and y
// axes, and the texture coordinates DrawBitmap gives them.
constexpr float CornerX[SpriteCorners] = {-1, 1, 1, -1};
constexpr float CornerY[SpriteCorners] = {-1, -1, 1, 1};
constexpr float CornerS[SpriteCorners] = {1, 0, 0, 1};
constexpr float CornerT[SpriteCorners] = {0, 0, 1, 1};

// Shifts of the insertion sort a frame may spend per star before it leaves the rest to the merge
// sort: a jump of the camera or a new cloud reorders everything, and the insertion sort would then
// take quadratic time.
constexpr long ShiftsPerStar = 8;

struct strSpriteArrays {
    float Vertex[MaxStars * SpriteCorners * VertexFloats];
    float TexCoord[MaxStars * SpriteCorners * TexCoordFloats];
    float Color[MaxStars * SpriteCorners * ColorFloats];
};

strSpriteArrays Sprites;
bool TexCoordsFilled = false;
// The merge sort's second half of the table.
strStarIdx MergeBuffer[MaxStars];
// Stamp of the last check in which each star was met in the table, to find repeated entries.
unsigned SeenStamp[MaxStars];
unsigned CheckStamp = 0;

double DistanceFromCamera(const strStar& s) {
    return dist(G.ShipPos.x, G.ShipPos.y, G.ShipPos.z, s.Pos.x, s.Pos.y, s.Pos.z);
}

// The order of StarIdxCompare: the farther first, and a distance that is not a number before every
// number. Strict, so both sorts keep equal distances in the order they found them.
bool DrawnBefore(double a, double b) {
    if (std::isnan(a)) return !std::isnan(b);
    return a > b;
}

int CountLiving() {
    int n = 0;
    for (int i = 0; i < CloudSize(); ++i) n += Star[i].Alive == 1 ? 1 : 0;
    return n;
}

// Whether the table of the previous frame still lists every living star exactly once.
bool PreviousOrderHolds() {
    if (G.NumVisible != CountLiving()) return false;
    if (++CheckStamp == 0) {
        for (unsigned& stamp : SeenStamp) stamp = 0;
        CheckStamp = 1;
    }
    for (int k = 0; k < G.NumVisible; ++k) {
        const int i = StarIdx[k].Index;
        if (i < 0 || i >= CloudSize() || Star[i].Alive != 1 || SeenStamp[i] == CheckStamp) return false;
        SeenStamp[i] = CheckStamp;
    }
    return true;
}

void RefreshDistances() {
    for (int k = 0; k < G.NumVisible; ++k) StarIdx[k].Dist = DistanceFromCamera(Star[StarIdx[k].Index]);
}

void CollectAfresh() {
    G.NumVisible = 0;
    for (int i = 0; i < CloudSize(); ++i) {
        if (Star[i].Alive != 1) continue;
        StarIdx[G.NumVisible] = {i, DistanceFromCamera(Star[i])};
        ++G.NumVisible;
    }
}

// Insertion sort of the table; false when it gave up after its budget of shifts, leaving the
// entries a permutation of what they were.
bool InsertionSort() {
    long budget = ShiftsPerStar * G.NumVisible;
    for (int k = 1; k < G.NumVisible; ++k) {
        const strStarIdx entry = StarIdx[k];
        int at = k;
        while (at > 0 && DrawnBefore(entry.Dist, StarIdx[at - 1].Dist)) {
            if (--budget < 0) {
                StarIdx[at] = entry;
                return false;
            }
            StarIdx[at] = StarIdx[at - 1];
            --at;
        }
        StarIdx[at] = entry;
    }
    return true;
}

// Stable merge of the sorted runs [lo, mid) and [mid, hi) of the table.
void MergeRuns(int lo, int mid, int hi) {
    const int right = hi - mid;
    for (int k = 0; k < right; ++k) MergeBuffer[k] = StarIdx[mid + k];
    int a = mid - 1, b = right - 1, out = hi - 1;
    while (b >= 0) {
        if (a >= lo && DrawnBefore(MergeBuffer[b].Dist, StarIdx[a].Dist)) {
            StarIdx[out--] = StarIdx[a--];
        } else {
            StarIdx[out--] = MergeBuffer[b--];
        }
    }
}

// Bottom-up merge sort in the static buffer: n log n whatever the order, and no allocation.
void MergeSort() {
    const int n = G.NumVisible;
    for (int width = 1; width < n; width *= 2) {
        for (int lo = 0; lo + width < n; lo += 2 * width) {
            const int hi = lo + 2 * width < n ? lo + 2 * width : n;
            MergeRuns(lo, lo + width, hi);
        }
    }
}

void FillTexCoords() {
    for (int k = 0; k < MaxStars; ++k) {
        for (int c = 0; c < SpriteCorners; ++c) {
            float* t = Sprites.TexCoord + (k * SpriteCorners + c) * TexCoordFloats;
            t[0] = CornerS[c];
            t[1] = CornerT[c];
        }
    }
    TexCoordsFilled = true;
}

// The centre of a star in eye space: the view rotation applied to its offset from the camera.
void EyeCentre(const strStar& s, double eye[SpriteAxes]) {
    const double offset[SpriteAxes] = {s.Pos.x - G.ShipPos.x, s.Pos.y - G.ShipPos.y, s.Pos.z - G.ShipPos.z};
    for (int r = 0; r < SpriteAxes; ++r) {
        eye[r] = 0;
        for (int c = 0; c < SpriteAxes; ++c) eye[r] += G.ViewMatrix[idx(r, c)] * offset[c];
    }
}

void FillSprite(int k, const strStar& s) {
    double eye[SpriteAxes];
    EyeCentre(s, eye);
    const double half = static_cast<float>(s.Size);
    for (int c = 0; c < SpriteCorners; ++c) {
        float* v = Sprites.Vertex + (k * SpriteCorners + c) * VertexFloats;
        v[0] = static_cast<float>(eye[0] + half * CornerX[c]);
        v[1] = static_cast<float>(eye[1] + half * CornerY[c]);
        v[2] = static_cast<float>(eye[2]);
        float* col = Sprites.Color + (k * SpriteCorners + c) * ColorFloats;
        col[0] = s.Color.Red;
        col[1] = s.Color.Green;
        col[2] = s.Color.Blue;
        col[3] = 1;
    }
}

void SubmitSprites(int n) {
    glLoadIdentity();
    BindTexture(textures[imgStar].texName);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(VertexFloats, GL_FLOAT, 0, Sprites.Vertex);
    glTexCoordPointer(TexCoordFloats, GL_FLOAT, 0, Sprites.TexCoord);
    glColorPointer(ColorFloats, GL_FLOAT, 0, Sprites.Color);
    glDrawArrays(GL_QUADS, 0, n * SpriteCorners);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace

void SortStarsFast() {
    if (PreviousOrderHolds()) {
        RefreshDistances();
        if (InsertionSort()) return;
    } else {
        CollectAfresh();
    }
    MergeSort();
}

void DrawStarFieldFast() {
    SortStarsFast();
    if (G.NumVisible == 0) return;
    if (!TexCoordsFilled) FillTexCoords();
    for (int k = 0; k < G.NumVisible; ++k) FillSprite(k, Star[StarIdx[k].Index]);
    SubmitSprites(G.NumVisible);
    // The colour array leaves the current colour undefined; the per-star path leaves the last star's.
    const strColor& last = Star[StarIdx[G.NumVisible - 1].Index].Color;
    glColor4f(last.Red, last.Green, last.Blue, 1);
}
