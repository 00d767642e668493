// galaxy: the birth of the cloud and its evolution under direct pairwise gravity.
#include <array>

#include "galaxy.h"

namespace {

// One row of the mass distribution: a band number of at most Limit draws a mass between Lo and Hi
// solar masses. The bands were tuned as single-precision constants; their widened values are kept.
struct strMassBand {
    double Limit;
    double Lo, Hi;
};

// The band number is drawn from 0 to this; the widths of the rows give their shares of the cloud.
constexpr double BandNumberTop = 76.1;
constexpr std::array<strMassBand, 4> MassBands = {{
    {1.0, 4.0, 20.0},                                                       // about 1.3 %
    {static_cast<double>(5.6f), static_cast<double>(1.2f), 4.0},            // about 6.0 %
    {17.0, static_cast<double>(0.8f), static_cast<double>(1.2f)},           // about 15.0 %
    {static_cast<double>(36.1f), 0.5, static_cast<double>(0.8f)},           // about 25.1 %
}};
// Every band number above the last limit: the light red dwarfs, about 52.6 %.
constexpr strMassBand LightBand = {BandNumberTop, static_cast<double>(0.1f), 0.5};

// The cloud fills the unit sphere: one scene unit is the cloud radius.
constexpr double CloudRadius = 1.0;

// Years to seconds, multiplied in the program's historical order (365 days first) so that the
// step in seconds is the same double on every build.
constexpr double DaysPerYear = 365;
constexpr double HoursPerDay = 24;
constexpr double MinutesPerHour = 60;
constexpr double SecondsPerMinute = 60;

// Uniform in the unit ball by rejection from the cube around it.
strBod RandomPointInCloud() {
    strBod p;
    do {
        p.x = drand(-CloudRadius, CloudRadius);
        p.y = drand(-CloudRadius, CloudRadius);
        p.z = drand(-CloudRadius, CloudRadius);
    } while (dist(p.x, p.y, p.z, 0, 0, 0) > CloudRadius);
    return p;
}

// Mass in kg from the skewed five-band distribution: a band number first, then the mass within it.
double RandomStarMass() {
    const double r = drand(0, BandNumberTop);
    strMassBand band = LightBand;
    for (const strMassBand& row : MassBands) {
        if (r <= row.Limit) {
            band = row;
            break;
        }
    }
    return drand(band.Lo, band.Hi) * G.SolarMass;
}

void ClearForces() {
    for (int i = 0; i < CloudSize(); ++i) Star[i].Force = {0, 0, 0};
}

// Adds the pull of stars a and b on each other. Coinciding stars exert nothing; neither do stars so
// close that the squared distance in metres underflows to zero, which would otherwise divide by
// zero. A distance that is not a number (a cloud that has blown up) also counts as no pull.
void AddPairForce(strStar& a, strStar& b) {
    const double d = dist(a.Pos.x, a.Pos.y, a.Pos.z, b.Pos.x, b.Pos.y, b.Pos.z);
    const double metres = G.Radius * d;
    const double metresSquared = metres * metres;
    if (!(d > 0) || !(metresSquared > 0)) return;
    const double f = -G.GravConst * a.Mass * b.Mass / metresSquared;
    const double cx = ((a.Pos.x - b.Pos.x) / d) * f;
    a.Force.x += cx;
    b.Force.x -= cx;
    const double cy = ((a.Pos.y - b.Pos.y) / d) * f;
    a.Force.y += cy;
    b.Force.y -= cy;
    const double cz = ((a.Pos.z - b.Pos.z) / d) * f;
    a.Force.z += cz;
    b.Force.z -= cz;
}

void AddAllPairForces() {
    const int n = CloudSize();
    for (int i = 0; i < n; ++i) {
        if (Star[i].Alive != 1) continue;
        for (int j = i + 1; j < n; ++j) {
            if (Star[j].Alive != 1) continue;
            AddPairForce(Star[i], Star[j]);
        }
    }
}

// Semi-implicit Euler: the velocity takes the whole turn's force first, and the position then moves
// with the new velocity, which keeps orbits from spiralling outwards as the explicit method does.
void MoveAxis(double force, double mass, double dt, double& vel, double& pos) {
    vel = force / mass * dt + vel;
    pos = vel * dt / G.Radius + pos;
}

void MoveStars(double dt) {
    for (int i = 0; i < CloudSize(); ++i) {
        strStar& s = Star[i];
        if (s.Alive != 1) continue;
        MoveAxis(s.Force.x, s.Mass, dt, s.Vel.x, s.Pos.x);
        MoveAxis(s.Force.y, s.Mass, dt, s.Vel.y, s.Pos.y);
        MoveAxis(s.Force.z, s.Mass, dt, s.Vel.z, s.Pos.z);
    }
}

}  // namespace

void GenerateGalaxy() {
    for (int i = 0; i < CloudSize(); ++i) {
        strStar& s = Star[i];
        s.Alive = 1;
        s.Pos = RandomPointInCloud();
        s.Vel = {0, 0, 0};
        s.Mass = RandomStarMass();
        MassColor(s.Mass, &s.Color);
        s.Size = MassSize(s.Mass);
    }
}

double TurnSeconds() {
    return DaysPerYear * G.DeltaT * HoursPerDay * MinutesPerHour * SecondsPerMinute;
}

void EvolRecalcPlain() {
    ClearForces();
    AddAllPairForces();
    MoveStars(TurnSeconds());
}

// The same turn with the pair sums of the vectorised kernel, which clears the forces itself.
void EvolRecalc() {
    GravityForces();
    MoveStars(TurnSeconds());
}
