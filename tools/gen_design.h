// A deterministic generator of intermediate netlist files for benchmarks and
// for tests that compare fast paths with the plain algorithms. The same
// parameters and seed always give the same bytes on every platform.
#pragma once

#include <cstdint>
#include <string>

namespace zedidgen {

// The design shapes. Board is a realistic design; the others each stress one
// cost the reader or the writer might let grow faster than the file.
enum class Shape {
    Board,       // mostly 2-16 pin parts, a few 256-1,500 pin parts, templates
    Components,  // many component definitions, each with an image
    BigPart,     // one part whose pins are all connected
    BigNet,      // one net holding every connection
    TwoPinNets,  // very many nets of two connections
    LongNames,   // names at and just past every length limit
    Dense,       // a connection-dense board: 2-300 pin parts, few properties
    Properties,  // many property groups on a few records of every kind
    Placements,  // one placement section per component definition
    Skipped,     // deep and long groups the reader passes over, a long pipetext
    Custom,      // built from the counts in Parameters alone
    // After Custom, so that the shapes before keep their seeds and bytes.
    ManyPins,    // many parts of one 4,000-pin component, each with a few connections
};

// How pins or connections are listed in the file; Default lets the shape
// choose (ascending pins; connections as the shape describes).
enum class Order { Default, Ascending, Descending, Shuffled };

// How the pins of a component are named (Custom shape).
enum class PinNames {
    Numeric,  // 1, 2, 3, ...
    Grid,     // A1, A2, ..., B1, ... as on a ball grid
    Mixed,    // numbers, letters, grid names and zero-led numbers mixed
};

struct Parameters {
    Shape shape = Shape::Board;
    int size = 1;               // 1, 2, 3, ...: each size is 10x the last
    std::uint64_t seed = 1;     // the same seed gives the same file
    bool templates = true;      // write the two combine templates
    int propertiesperpart = 4;  // properties in each part's property group
    // Counts of the Custom shape; for the other shapes a count above 0
    // overrides what the shape and size choose, where the shape has it.
    long parts = 0;
    long components = 0;
    int pinspercomponent = 0;
    long nets = 0;
    int connectionspernet = 0;
    Order pinorder = Order::Default;         // pins listed in an image
    Order connectionorder = Order::Default;  // connections dealt to nets
    PinNames pinnames = PinNames::Numeric;
};

// What a generated file holds.
struct Summary {
    long parts = 0;
    long components = 0;
    long libpins = 0;
    long nets = 0;
    long connections = 0;
    std::size_t bytes = 0;
};

// Writes the intermediate file text of the design PARAMS describes to TEXT
// (replacing its contents). Every design is valid: unique references, every
// connected pin exists, no pin connected twice.
Summary GenerateDesign(const Parameters& params, std::string& text);

// Shape names as the command line and the benchmark tables spell them.
const char* ShapeName(Shape shape);
// Sets SHAPE from NAME; false when NAME names no shape.
bool ParseShape(const char* name, Shape* shape);
bool ParseOrder(const char* name, Order* order);
bool ParsePinNames(const char* name, PinNames* names);

}  // namespace zedidgen
