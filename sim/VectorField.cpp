// The 3 x 3 grid of force vectors: the slowly turning field that MODE_FLOW streams
// along, and the fixed swirl that MODE_SWIRL circles in.
#include "sim/VectorField.h"

#include "sim/Swarm.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace zorvan {

namespace {

// A loop round the centre cell: up the left side, right along the top, down the right
// side, left along the bottom, and a weak push to the right in the middle.
constexpr FieldVector SWIRL[9] = {
    {0.0f, 5.0f},  {-5.0f, 0.0f}, {-5.0f, -0.0f},  // bottom row
    {0.0f, 5.0f},  {0.5f, 0.0f},  {0.0f, -5.0f},   // middle row
    {5.0f, 0.0f},  {5.0f, 0.0f},  {0.0f, -5.0f},   // top row
};

// A size truncated toward zero, without an undefined conversion.
int truncatedSize(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(value);
}

}  // namespace

void Swarm::setSize(double width, double height) {
    fieldHeight = std::max(1, truncatedSize(height / 3.0));
    fieldWidth = std::max(1, truncatedSize(width / 3.0));
    displayWidth = truncatedSize(width);
    displayHeight = truncatedSize(height);
}

void Swarm::initVectorField() {
    for (int k = 0; k < 9; ++k) {
        const float length = static_cast<float>(uniformFraction() * 4.0 + 8.0);
        const float angle = static_cast<float>(uniformFraction() * 6.29 + 0.0);
        const float turn = static_cast<float>(uniformFraction() * 0.019 + 0.001);
        (void)uniformFraction();  // drawn and unused: every cell takes four draws

        // The double functions of the float values, never the float overloads.
        const double a = static_cast<double>(angle);
        const double m = static_cast<double>(length);
        fields[k].x = static_cast<float>(std::cos(a) * m);
        fields[k].y = static_cast<float>(std::sin(a) * m);

        const double t = static_cast<double>(turn);
        rotators[k].x1 = static_cast<float>(std::cos(t));
        rotators[k].y1 = static_cast<float>(std::sin(t));
        rotators[k].x2 = static_cast<float>(-std::sin(t));
        rotators[k].y2 = rotators[k].x1;
    }
    for (int k = 0; k < 9; ++k) swirl[k] = SWIRL[k];
}

void Swarm::advanceFields() {
    // Each vector turns clockwise by its own angle; lengths drift only by rounding.
    for (int k = 0; k < 9; ++k) {
        const float x = fields[k].x;
        const float y = fields[k].y;
        const Rotator& r = rotators[k];
        fields[k].x = x * r.x1 + y * r.y1;
        fields[k].y = x * r.x2 + y * r.y2;
    }
}

int Swarm::cellOf(float x, float y) const {
    // A view that was never sized has no cell size yet; treat it as one pixel.
    return cellIndex(x, y, fieldWidth > 0 ? fieldWidth : 1, fieldHeight > 0 ? fieldHeight : 1);
}

}  // namespace zorvan
