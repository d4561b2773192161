// The design generator: builds a design model for a shape, then writes it
// as intermediate netlist text. Randomness comes from a fixed 64-bit mixer,
// never from the standard library's engines or distributions, whose results
// differ between library implementations.
#include "gen_design.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace zedidgen {

namespace {

// Limits of the reader that generated files stay within.
constexpr std::size_t TokenLimit = 255;        // characters in one token
constexpr std::size_t WrapColumn = 160;        // lines are broken near here
constexpr std::size_t ReferenceWidth = 6;      // longest reference without warning
constexpr std::size_t NetNameLimit = 47;       // longest net name without warning

using Properties = std::vector<std::pair<std::string, std::string>>;

struct Component {
    std::string name;
    std::string sourcelib;
    std::vector<std::string> pins;  // in the order the image lists them
    bool pinproperties = false;     // each pin gets a pinname and a pintype
    Properties properties;          // image properties after sourcelib
    Properties firstpin;            // more properties of the first pin
};

struct Part {
    std::string reference;
    int component = 0;
    Properties properties;  // no property group when empty
};

struct Connection {
    long part;
    int pin;                    // index into the component's pins
    bool properties = false;    // a small connection property group follows
};

struct NetModel {
    std::string name;
    Properties properties;
    Properties firstconnection;  // more properties of the first connection
    std::vector<Connection> connections;
};

struct Model {
    Properties header;
    std::string valuetemplate;
    std::string footprinttemplate;
    std::vector<Component> components;
    std::vector<Part> parts;
    std::vector<NetModel> nets;
    std::vector<std::string> pipetext;
    bool groupeach = false;            // every property in a group of its own
    bool sectionpercomponent = false;  // one placement section per definition
    std::string skipped;               // groups of no section, before the description
    std::string skippedlibrary;        // images of no definition, in the library
    std::string pipetextraw;           // written into the pipetext section as it is
};

// splitmix64: small, fast and identical everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A number from 0 to N - 1 (N > 0).
    long Below(long n) { return static_cast<long>(Next() % static_cast<std::uint64_t>(n)); }
    long Between(long low, long high) { return low + Below(high - low + 1); }
    bool Chance(int percent) { return Below(100) < percent; }
    template <typename T>
    void Shuffle(std::vector<T>& items) {
        for (std::size_t i = items.size(); i > 1; i--) std::swap(items[i - 1], items[static_cast<std::size_t>(Below(static_cast<long>(i)))]);
    }

private:
    std::uint64_t state_;
};

long Scale(int size) {
    long factor = 1;
    for (int i = 1; i < size; i++) factor *= 10;
    return factor;
}

std::string Padded(long number, int width) {
    std::string digits = std::to_string(number);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return digits;
}

// TEXT filled with FILL (or cut) to exactly LENGTH characters, keeping its
// end, so texts that share a long front stay distinct.
std::string ToLength(const std::string& text, std::size_t length, char fill) {
    if (text.size() >= length) return text.substr(text.size() - length);
    return std::string(length - text.size(), fill) + text;
}

std::string Hex(std::uint64_t value, int digits) {
    static const char Digits[] = "0123456789ABCDEF";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; i--, value >>= 4) text[static_cast<std::size_t>(i)] = Digits[value & 15];
    return text;
}

// ---- Pin names --------------------------------------------------------------

// Row names of a ball grid: single letters without I, O, Q, S, X, Z, then
// pairs of them.
std::string GridRow(int row) {
    static const char Letters[] = "ABCDEFGHJKLMNPRTUVWY";
    constexpr int Count = sizeof Letters - 1;
    if (row < Count) return std::string(1, Letters[row]);
    row -= Count;
    return std::string(1, Letters[(row / Count) % Count]) + Letters[row % Count];
}

std::vector<std::string> NumericPins(int count) {
    std::vector<std::string> pins;
    for (int i = 1; i <= count; i++) pins.push_back(std::to_string(i));
    return pins;
}

std::vector<std::string> GridPins(int count) {
    int columns = 1;
    while (columns * columns < count) columns++;
    std::vector<std::string> pins;
    for (int i = 0; i < count; i++) pins.push_back(GridRow(i / columns) + std::to_string(i % columns + 1));
    return pins;
}

// Distinct pin names of every kind the pin orders must handle; numeric
// ones (zero-led included) never share a value, so no two pins of one part
// count as the same pin.
std::vector<std::string> MixedPins(int count, Random& random) {
    std::vector<std::string> pins;
    std::vector<bool> usedvalue(static_cast<std::size_t>(count) * 4 + 2, false);
    std::unordered_set<std::string> seen;
    while (static_cast<int>(pins.size()) < count) {
        std::string name;
        switch (random.Below(6)) {
            case 0:
            case 1: {
                long value = random.Between(0, static_cast<long>(usedvalue.size()) - 1);
                if (usedvalue[static_cast<std::size_t>(value)]) continue;
                usedvalue[static_cast<std::size_t>(value)] = true;
                name = random.Chance(20) ? "0" + std::to_string(value) : std::to_string(value);
                break;
            }
            case 2: name = std::string(1, static_cast<char>('A' + random.Below(26))); break;
            case 3: name = GridRow(static_cast<int>(random.Below(30))) + std::to_string(random.Between(1, 40)); break;
            case 4: name = std::to_string(random.Between(1, 99)) + static_cast<char>('A' + random.Below(4)); break;
            default: name = std::string(random.Chance(50) ? "a" : "B") + (random.Chance(30) ? "-" : "") + std::to_string(random.Below(20)); break;
        }
        if (!seen.insert(name).second) continue;
        pins.push_back(name);
    }
    return pins;
}

void ApplyOrder(std::vector<std::string>& pins, Order order, Random& random) {
    if (order == Order::Descending) std::reverse(pins.begin(), pins.end());
    if (order == Order::Shuffled) random.Shuffle(pins);
}

// References with single-letter prefixes taken in turn stay within six
// characters up to 99,999 parts per prefix.
std::string RotatingReference(long index) {
    static const char Prefixes[] = "RCLDQFKT";
    constexpr long Count = sizeof Prefixes - 1;
    return std::string(1, Prefixes[index % Count]) + std::to_string(index / Count + 1);
}

void ConnectAll(Model& model, std::vector<Connection>& slots, long nets, int perNet, const std::string& prefix) {
    std::size_t next = 0;
    for (long n = 0; n < nets && next < slots.size(); n++) {
        NetModel net;
        net.name = prefix + Padded(n + 1, 5);
        for (int c = 0; c < perNet && next < slots.size(); c++) net.connections.push_back(slots[next++]);
        model.nets.push_back(std::move(net));
    }
}

void StandardHeader(Model& model, const std::string& title, bool templates) {
    model.header = {{"timestamp", "20240101120000"},
                    {"Program", "zedid_gen"},
                    {"source", title + ".dsn"},
                    {"title", title},
                    {"date", "January 1, 2024"},
                    {"document", "GEN-0001"},
                    {"revision", "A"},
                    {"organization", "Generated"},
                    {"address1", "1 Test Road"}};
    if (templates) {
        model.valuetemplate = "{Value}";
        model.footprinttemplate = "{PCB Footprint}";
    }
    model.pipetext = {"generated", "design", title};
}

// Fills a part's property group: the ones templates and variables read
// first, then numbered fillers up to COUNT.
Properties PartProperties(int count, const std::string& value, const std::string& footprint, Random& random) {
    Properties all = {{"Value", value},
                      {"PCB Footprint", footprint},
                      {"timestamp", Hex(random.Next(), 8)},
                      {"Part Number", "PN-" + Hex(random.Next(), 6)},
                      {"1ST PART FIELD", "F1"},
                      {"2ND PART FIELD", "F2"}};
    Properties chosen;
    for (int i = 0; i < count; i++) {
        if (i < static_cast<int>(all.size()))
            chosen.push_back(all[static_cast<std::size_t>(i)]);
        else
            chosen.push_back({"PROP" + std::to_string(i + 1), "V" + std::to_string(random.Below(1000))});
    }
    return chosen;
}

// ---- Shapes -------------------------------------------------------------------

struct Kind {
    const char* prefix;
    const char* family;
    int weight;  // share of the parts, in percent
    std::vector<int> pincounts;
    std::vector<const char*> footprints;
    std::vector<const char*> values;
};

void BuildBoard(const Parameters& params, Model& model, Random& random) {
    long factor = Scale(params.size);
    long partcount = params.parts > 0 ? params.parts : 1000 * factor;
    long bigparts = std::max(2L, partcount / 500);
    long smallparts = std::max(1L, partcount - bigparts);
    long defcount = params.components > 0 ? params.components : std::max(20L, partcount / 50);
    StandardHeader(model, "board" + std::to_string(params.size), params.templates);

    const std::vector<Kind> kinds = {
        {"R", "RESISTOR", 35, {2}, {"R0402", "R0603", "R0805"}, {"10K", "4K7", "100R", "1M", "0R", "22R"}},
        {"C", "CAPACITOR", 30, {2}, {"C0402", "C0603", "C0805", "C1206"}, {"100nF", "10uF", "1uF", "22pF", "4u7"}},
        {"L", "INDUCTOR", 3, {2}, {"L0805", "L1210"}, {"10uH", "4u7H", "BEAD"}},
        {"D", "DIODE", 5, {2}, {"SOD123", "SOD323", "LED0603"}, {"1N4148", "BAT54", "GREEN"}},
        {"Q", "TRANSISTOR", 5, {3}, {"SOT23", "SOT223"}, {"BC847", "2N7002", "AO3401"}},
        {"U", "IC", 12, {8, 14, 16}, {"SOIC-8", "SOIC-14", "TSSOP-16"}, {"LM358", "74HC00", "TL431", "MAX232"}},
        {"J", "CONNECTOR", 8, {2, 4, 6, 10, 16}, {"HDR1X4", "HDR2X5", "USB-C", "JST-PH"}, {"CONN", "HEADER"}},
        {"Y", "CRYSTAL", 2, {2, 4}, {"HC49", "XTAL3225"}, {"8MHz", "32k768"}},
    };
    // Definitions are shared out by weight, at least one per kind.
    long bigdefs = std::max(1L, bigparts / 2);
    long smalldefs = std::max(static_cast<long>(kinds.size()), defcount - bigdefs);
    std::vector<std::vector<int>> defsofkind(kinds.size());
    for (std::size_t k = 0; k < kinds.size(); k++) {
        long share = std::max(1L, smalldefs * kinds[k].weight / 100);
        for (long d = 0; d < share; d++) {
            const Kind& kind = kinds[k];
            Component component;
            const char* footprint = kind.footprints[static_cast<std::size_t>(random.Below(static_cast<long>(kind.footprints.size())))];
            int pins = kind.pincounts[static_cast<std::size_t>(random.Below(static_cast<long>(kind.pincounts.size())))];
            component.name = std::string(kind.family) + "_" + footprint + "_" + std::to_string(model.components.size() + 1);
            component.sourcelib = std::string(kind.family) + ".OLB";
            component.pins = NumericPins(pins);
            ApplyOrder(component.pins, params.pinorder, random);
            component.pinproperties = true;
            defsofkind[k].push_back(static_cast<int>(model.components.size()));
            model.components.push_back(std::move(component));
        }
    }
    // Large definitions come in pairs (a ball grid, a numbered one) whose pin
    // counts are spread evenly over 256 to 1,500, and the large parts use
    // them in turn, so every size has the same mix and 10x the parts makes
    // 10x the connections.
    std::vector<int> bigdefindex;
    long pairs = (bigdefs + 1) / 2;
    for (long d = 0; d < bigdefs; d++) {
        Component component;
        int pins = static_cast<int>(256 + 1244 * (2 * (d / 2) + 1) / (2 * pairs));
        bool grid = d % 2 == 0;
        component.name = std::string(grid ? "FPGA_BGA" : "MCU_QFP") + std::to_string(pins) + "_" + std::to_string(d + 1);
        component.sourcelib = "LARGE.OLB";
        component.pins = grid ? GridPins(pins) : NumericPins(pins);
        ApplyOrder(component.pins, params.pinorder, random);
        component.pinproperties = true;
        bigdefindex.push_back(static_cast<int>(model.components.size()));
        model.components.push_back(std::move(component));
    }

    std::vector<long> counters(kinds.size() + 1, 0);
    for (long p = 0; p < smallparts + bigparts; p++) {
        Part part;
        bool big = p >= smallparts;
        std::size_t k = 0;
        if (big) {
            part.component = bigdefindex[static_cast<std::size_t>((p - smallparts) % bigdefs)];
            k = 5;  // big parts are numbered with the ICs
        } else {
            long pick = random.Below(100);
            while (pick >= kinds[k].weight) pick -= kinds[k++].weight;
            const std::vector<int>& defs = defsofkind[k];
            part.component = defs[static_cast<std::size_t>(random.Below(static_cast<long>(defs.size())))];
        }
        part.reference = std::string(kinds[k].prefix) + std::to_string(++counters[k]);
        const Kind& kind = kinds[k];
        std::string value = big ? model.components[static_cast<std::size_t>(part.component)].name.substr(0, 12)
                                : kind.values[static_cast<std::size_t>(random.Below(static_cast<long>(kind.values.size())))];
        const std::string& name = model.components[static_cast<std::size_t>(part.component)].name;
        std::string footprint = name.substr(name.find('_') + 1);
        footprint = footprint.substr(0, footprint.rfind('_'));
        part.properties = PartProperties(params.propertiesperpart, value, footprint, random);
        model.parts.push_back(std::move(part));
    }

    // Most pins are connected; some go to the power nets, the rest are dealt
    // out to small signal nets.
    struct Power {
        const char* name;
        int weight;
        const char* width;
    };
    const std::vector<Power> powers = {{"GND", 50, "20"}, {"+3V3", 20, "12"}, {"+5V", 10, "12"},
                                       {"+1V8", 8, "10"},  {"VBAT", 4, "16"},  {"AGND", 4, "12"},
                                       {"+12V", 4, ""}};
    std::vector<NetModel> powernets(powers.size());
    for (std::size_t i = 0; i < powers.size(); i++) {
        powernets[i].name = powers[i].name;
        if (powers[i].width[0] != '\0') powernets[i].properties.push_back({"tracewidth", powers[i].width});
        powernets[i].properties.push_back({"nettype", "S"});
    }
    std::vector<Connection> signal;
    for (long p = 0; p < static_cast<long>(model.parts.size()); p++) {
        const Component& component = model.components[static_cast<std::size_t>(model.parts[static_cast<std::size_t>(p)].component)];
        int powershare = component.pins.size() > 3 ? 15 : 12;
        for (int pin = 0; pin < static_cast<int>(component.pins.size()); pin++) {
            if (random.Chance(8)) continue;
            Connection connection{p, pin, random.Chance(1)};
            if (random.Chance(powershare)) {
                long pick = random.Below(100);
                std::size_t i = 0;
                while (pick >= powers[i].weight) pick -= powers[i++].weight;
                powernets[i].connections.push_back(connection);
            } else {
                signal.push_back(connection);
            }
        }
    }
    random.Shuffle(signal);
    static const char* const Buses[] = {"DATA", "ADDR", "CLK", "SPI_MOSI", "I2C_SDA", "UART_TX", "/RESET", "EN"};
    std::size_t next = 0;
    long serial = 0;
    while (next < signal.size()) {
        long roll = random.Below(100);
        long size = roll < 45 ? 2 : roll < 70 ? 3 : roll < 85 ? 4 : roll < 93 ? 5 : random.Between(6, 12);
        NetModel net;
        serial++;
        if (random.Chance(30))
            net.name = std::string(Buses[random.Below(8)]) + std::to_string(serial);
        else
            net.name = "N" + Padded(serial, 5);
        if (random.Chance(4)) net.properties.push_back({"tracewidth", "8"});
        if (random.Chance(1)) net.properties.push_back({"nettype", "U"});
        for (long c = 0; c < size && next < signal.size(); c++) net.connections.push_back(signal[next++]);
        model.nets.push_back(std::move(net));
    }
    for (NetModel& net : powernets) {
        if (net.connections.empty()) continue;
        random.Shuffle(net.connections);
        model.nets.push_back(std::move(net));
    }
    random.Shuffle(model.nets);
}

void BuildComponents(const Parameters& params, Model& model, Random& random) {
    long count = params.components > 0 ? params.components : 200 * Scale(params.size);
    int pins = params.pinspercomponent > 0 ? params.pinspercomponent : 4;
    StandardHeader(model, "components" + std::to_string(params.size), params.templates);
    for (long c = 0; c < count; c++) {
        Component component;
        // Names share a long front, as a library's part names do.
        component.name = "CMP_SERIES_STANDARD_PACKAGE_" + Padded(c + 1, 6);
        component.sourcelib = "PARTS.OLB";
        component.pins = NumericPins(pins);
        ApplyOrder(component.pins, params.pinorder, random);
        component.pinproperties = true;
        model.components.push_back(std::move(component));
        Part part;
        part.reference = "U" + std::to_string(c + 1);
        part.component = static_cast<int>(c);
        part.properties = PartProperties(params.propertiesperpart, "V" + std::to_string(c + 1), "SOIC-" + std::to_string(pins), random);
        model.parts.push_back(std::move(part));
    }
    for (long c = 0; c < count; c++) {
        NetModel net;
        net.name = "N" + Padded(c + 1, 6);
        net.connections.push_back({c, 0});
        net.connections.push_back({(c + 1) % count, pins > 1 ? 1 : 0});
        if (count == 1 && pins == 1) net.connections.pop_back();
        model.nets.push_back(std::move(net));
    }
}

void BuildBigPart(const Parameters& params, Model& model, Random& random) {
    int pins = params.pinspercomponent > 0 ? params.pinspercomponent : static_cast<int>(50 * Scale(params.size));
    StandardHeader(model, "bigpart" + std::to_string(params.size), params.templates);
    Component component;
    component.name = "BIG_" + std::to_string(pins);
    component.sourcelib = "LARGE.OLB";
    component.pins = params.pinnames == PinNames::Grid ? GridPins(pins) : NumericPins(pins);
    ApplyOrder(component.pins, params.pinorder, random);
    model.components.push_back(std::move(component));
    Part part;
    part.reference = "U1";
    part.properties = PartProperties(params.propertiesperpart, "BIG", "BGA" + std::to_string(pins), random);
    model.parts.push_back(std::move(part));
    // Connections reach the part in pin order by default: each one belongs
    // after every connection made before it.
    std::vector<Connection> slots;
    for (int p = 0; p < pins; p++) slots.push_back({0, p});
    if (params.connectionorder == Order::Descending) std::reverse(slots.begin(), slots.end());
    if (params.connectionorder == Order::Shuffled) random.Shuffle(slots);
    ConnectAll(model, slots, (pins + 1) / 2, 2, "P");
}

void BuildBigNet(const Parameters& params, Model& model, Random& random) {
    long connections = params.connectionspernet > 0 ? params.connectionspernet : 2000 * Scale(params.size);
    long parts = (connections + 1) / 2;
    StandardHeader(model, "bignet" + std::to_string(params.size), params.templates);
    Component component;
    component.name = "TESTPOINT2";
    component.pins = NumericPins(2);
    model.components.push_back(std::move(component));
    NetModel net;
    net.name = "GND";
    for (long p = 0; p < parts; p++) {
        Part part;
        part.reference = RotatingReference(p);
        part.properties = PartProperties(params.propertiesperpart, "TP", "TP1MM", random);
        model.parts.push_back(std::move(part));
        for (int pin = 0; pin < 2 && static_cast<long>(net.connections.size()) < connections; pin++)
            net.connections.push_back({p, pin});
    }
    if (params.connectionorder == Order::Descending) std::reverse(net.connections.begin(), net.connections.end());
    if (params.connectionorder == Order::Shuffled) random.Shuffle(net.connections);
    model.nets.push_back(std::move(net));
}

void BuildTwoPinNets(const Parameters& params, Model& model, Random& random) {
    long nets = params.nets > 0 ? params.nets : 2000 * Scale(params.size);
    StandardHeader(model, "twopinnets" + std::to_string(params.size), params.templates);
    Component component;
    component.name = "RES2";
    component.pins = NumericPins(2);
    model.components.push_back(std::move(component));
    for (long p = 0; p <= nets; p++) {
        Part part;
        part.reference = RotatingReference(p);
        part.properties = PartProperties(params.propertiesperpart, "10K", "R0603", random);
        model.parts.push_back(std::move(part));
    }
    for (long n = 0; n < nets; n++) {
        NetModel net;
        net.name = "N" + Padded(n + 1, 6);
        net.connections.push_back({n, 1});
        net.connections.push_back({n + 1, 0});
        model.nets.push_back(std::move(net));
    }
}

// Names at the limits: 255-character tokens, references of 6 characters and
// just past, net names of 47 and 48 characters, texts with illegal
// characters, pin numbers at the edge of the 32-bit range.
void BuildLongNames(const Parameters& params, Model& model, Random& random) {
    long parts = params.parts > 0 ? params.parts : 100 * Scale(params.size);
    long defs = params.components > 0 ? params.components : std::max(4L, parts / 10);
    StandardHeader(model, "longnames" + std::to_string(params.size), params.templates);
    model.header.push_back({"title", ToLength("TITLE", TokenLimit, 'T')});
    model.header.push_back({"address4", ToLength("ADDRESS", TokenLimit, 'a')});
    if (params.templates) {
        model.valuetemplate = "{Value}{Suffix}";
        model.footprinttemplate = "{" + ToLength("FOOTPRINTNAME", TokenLimit - 2, 'F') + "}";
    }
    const std::string footprintname = ToLength("FOOTPRINTNAME", TokenLimit - 2, 'F');
    for (long d = 0; d < defs; d++) {
        Component component;
        component.name = ToLength("_" + Padded(d + 1, 7), TokenLimit, 'C');
        component.sourcelib = ToLength("LIB.OLB", TokenLimit, 'L');
        component.pins = {"1", "2", "3", "2147483647", "2147483648", ToLength("P" + std::to_string(d), TokenLimit, 'p'),
                          ToLength("Q", 100, 'q'), "A1"};
        component.pinproperties = true;
        model.components.push_back(std::move(component));
    }
    for (long p = 0; p < parts; p++) {
        Part part;
        std::string number = Padded(p + 1, 5);
        if (p % 50 == 49)
            part.reference = "R" + number + std::string(TokenLimit - 6, 'R');  // unique in its first six
        else if (p % 7 == 6)
            part.reference = "L" + number + "L";  // one character too long, still unique when cut
        else
            part.reference = "L" + number;  // exactly the width
        part.component = static_cast<int>(p % defs);
        part.properties = {{"Value", ToLength("V" + number, TokenLimit - 15, 'v')},
                           {"Suffix", ToLength("S", 15, 's')},
                           {footprintname, ToLength("FP" + number, TokenLimit, 'f')},
                           {ToLength("NAME", TokenLimit, 'n'), ToLength("VALUE", TokenLimit, 'w')}};
        if (p % 11 == 10) part.properties.push_back({"timestamp", "ab cd(ef)-\"gh\"\\"});
        model.parts.push_back(std::move(part));
    }
    std::vector<Connection> slots;
    for (long p = 0; p < parts; p++)
        for (int pin = 0; pin < 8; pin++) slots.push_back({p, pin, pin == 0});
    random.Shuffle(slots);
    ConnectAll(model, slots, static_cast<long>(slots.size()), 3, "");
    for (std::size_t n = 0; n < model.nets.size(); n++) {
        std::string number = Padded(static_cast<long>(n) + 1, 7);
        std::string& name = model.nets[n].name;
        if (n % 31 == 30)
            name = ToLength("LONG NET " + number, TokenLimit, 'n');  // illegal and too long
        else if (n % 9 == 8)
            name = ToLength("_" + number, NetNameLimit + 1, 'M');  // one character too long
        else if (n % 13 == 12)
            name = "BAD@" + number;  // illegal character
        else
            name = ToLength("_" + number, NetNameLimit, 'N');  // exactly the limit
        if (n % 17 == 16) model.nets[n].properties.push_back({"tracewidth", ToLength("W", TokenLimit, '9')});
    }
    static_assert(ReferenceWidth == 6, "references above are built for this width");
}

// Deals SLOTS, shuffled, to nets of 2 to MOST connections each, in order.
void DealToNets(Model& model, std::vector<Connection>& slots, long most, Random& random) {
    random.Shuffle(slots);
    std::size_t next = 0;
    for (long serial = 1; next < slots.size(); serial++) {
        NetModel net;
        net.name = "N" + std::to_string(serial);
        long size = random.Between(2, most);
        for (long c = 0; c < size && next < slots.size(); c++) net.connections.push_back(slots[next++]);
        model.nets.push_back(std::move(net));
    }
}

// A connection-dense board: definitions of 2 to 180 pins, every pin
// connected, nets of 2 to 22 connections in random part and pin order, the
// placement grouped by definition and little else that costs bytes: about
// twelve connections a part. Pin counts follow a fixed cycle and every
// definition has as many parts, so each size is 10x the last in
// connections too.
void BuildDense(const Parameters& params, Model& model, Random& random) {
    static const int PinCycle[] = {2, 3, 4, 5, 6, 2, 3, 4, 5, 6, 2, 3, 4, 5, 6, 2, 3, 4, 5, 6, 12, 60,
                                   2, 3, 4, 5, 6, 2, 3, 4, 5, 6, 24, 2, 3, 4, 5, 36, 180, 48};
    constexpr long Cycle = sizeof PinCycle / sizeof PinCycle[0];
    long partcount = params.parts > 0 ? params.parts : 2000 * Scale(params.size);
    long defcount = params.components > 0 ? params.components : std::max(Cycle, partcount / 50);
    StandardHeader(model, "dense" + std::to_string(params.size), params.templates);
    for (long d = 0; d < defcount; d++) {
        Component component;
        int pins = PinCycle[d % Cycle];
        component.name = "D" + std::to_string(d + 1) + "_" + std::to_string(pins);
        component.pins = NumericPins(pins);
        ApplyOrder(component.pins, params.pinorder, random);
        model.components.push_back(std::move(component));
    }
    std::vector<Connection> slots;
    for (long p = 0; p < partcount; p++) {
        Part part;
        part.reference = RotatingReference(p);
        part.component = static_cast<int>(p % defcount);
        const std::string& name = model.components[static_cast<std::size_t>(part.component)].name;
        part.properties = PartProperties(std::min(params.propertiesperpart, 2), "V" + std::to_string(p % 97), name, random);
        int pins = static_cast<int>(model.components[static_cast<std::size_t>(part.component)].pins.size());
        for (int pin = 0; pin < pins; pin++) slots.push_back({p, pin});
        model.parts.push_back(std::move(part));
    }
    DealToNets(model, slots, 22, random);
}

// A few records of every kind, each given its properties one group at a
// time: a part, a definition's image and first pin, a net and its first
// connection. The value template names a property no part has, so every
// recomposition of the value looks through the whole list.
void BuildProperties(const Parameters& params, Model& model, Random& random) {
    long groups = params.parts > 0 ? params.parts : 2000 * Scale(params.size);
    StandardHeader(model, "properties" + std::to_string(params.size), params.templates);
    if (params.templates) model.valuetemplate = "{Value}/{Missing}";
    model.groupeach = true;
    auto many = [&](const char* prefix) {
        Properties properties;
        for (long g = 0; g < groups; g++)
            properties.push_back({prefix + std::to_string(g + 1), "V" + std::to_string(random.Below(1000))});
        return properties;
    };
    Component component;
    component.name = "PROPS";
    component.sourcelib = "PROPS.OLB";
    component.pins = NumericPins(2);
    component.properties = many("I");
    component.firstpin = many("P");
    model.components.push_back(std::move(component));
    for (long p = 0; p < 2; p++) {
        Part part;
        part.reference = "U" + std::to_string(p + 1);
        part.properties = p == 0 ? many("Q") : PartProperties(params.propertiesperpart, "V", "FP", random);
        model.parts.push_back(std::move(part));
    }
    for (int n = 0; n < 2; n++) {
        NetModel net;
        net.name = "N" + std::to_string(n + 1);
        if (n == 0) net.properties = many("N");
        net.connections.push_back({0, n, n == 0});
        net.connections.push_back({1, n});
        if (n == 0) net.firstconnection = many("C");
        model.nets.push_back(std::move(net));
    }
}

// One placement section for each two-pin definition, one part each, the
// parts chained by two-pin nets: every section adds a part out of reference
// order.
void BuildPlacements(const Parameters& params, Model& model, Random& random) {
    long count = params.parts > 0 ? params.parts : 2000 * Scale(params.size);
    StandardHeader(model, "placements" + std::to_string(params.size), params.templates);
    model.sectionpercomponent = true;
    for (long c = 0; c < count; c++) {
        Component component;
        component.name = "TWO" + std::to_string(c + 1);
        component.pins = NumericPins(2);
        model.components.push_back(std::move(component));
        Part part;
        part.reference = RotatingReference(c);
        part.component = static_cast<int>(c);
        part.properties = PartProperties(params.propertiesperpart > 2 ? 2 : params.propertiesperpart, "10K", "R0603", random);
        model.parts.push_back(std::move(part));
    }
    for (long n = 0; n + 1 < count; n++) {
        NetModel net;
        net.name = "N" + std::to_string(n + 1);
        net.connections.push_back({n, 1});
        net.connections.push_back({n + 1, 0});
        model.nets.push_back(std::move(net));
    }
}

// A small design amid what the reader passes over or keeps without use:
// groups of no section (deeply nested, and long), an image of no
// definition with many pins, groups inside the pins of nets, and a pipetext
// section of single "(" words.
void BuildSkipped(const Parameters& params, Model& model, Random& random) {
    long unit = Scale(params.size);
    BuildTwoPinNets([&] {
        Parameters small = params;
        small.nets = 200 * unit;
        return small;
    }(), model, random);
    model.header[2].second = "skipped" + std::to_string(params.size) + ".dsn";
    std::string& skipped = model.skipped;
    long depth = 5000 * unit;
    skipped += "\n (comment";
    for (long i = 0; i < depth; i++) skipped += i % 100 == 0 ? "\n  (" : "(";
    for (long i = 0; i < depth; i++) skipped += i % 100 == 0 ? "\n  )" : ")";
    skipped += ")\n (notes";
    for (long i = 0; i < 5000 * unit; i++) skipped += (i % 16 == 0 ? "\n  word" : " word") + std::to_string(i);
    skipped += ")";
    std::string& library = model.skippedlibrary;
    library += "\n  (image NO_SUCH_DEFINITION";
    for (long i = 0; i < 2000 * unit; i++)
        library += "\n   (pin " + std::to_string(i + 1) + " " + std::to_string(i + 1) + " (property (pinname X)))";
    library += ")";
    std::string& pipetext = model.pipetextraw;
    for (long i = 0; i < 100000 * unit; i++) pipetext += i % 150 == 0 ? "\n  (" : "(";
}

// Many parts of one wide component, without properties, each with one to
// three of its pins connected (half of them one), in random order over nets of two to forty
// connections: what a part keeps for its connections must grow with them,
// not with its component.
void BuildManyPins(const Parameters& params, Model& model, Random& random) {
    long partcount = params.parts > 0 ? params.parts : 1000 * Scale(params.size);
    int pins = params.pinspercomponent > 0 ? params.pinspercomponent : 4000;
    StandardHeader(model, "manypins" + std::to_string(params.size), params.templates);
    Component component;
    component.name = "WIDE_" + std::to_string(pins);
    component.pins = NumericPins(pins);
    ApplyOrder(component.pins, params.pinorder, random);
    model.components.push_back(std::move(component));
    std::vector<Connection> slots;
    for (long p = 0; p < partcount; p++) {
        Part part;
        part.reference = RotatingReference(p);
        model.parts.push_back(std::move(part));
        long roll = random.Below(100);
        long count = std::min<long>(pins, roll < 50 ? 1 : roll < 80 ? 2 : 3);
        std::size_t first = slots.size();
        while (static_cast<long>(slots.size() - first) < count) {
            int pin = static_cast<int>(random.Below(pins));
            bool taken = false;
            for (std::size_t c = first; c < slots.size(); c++) taken = taken || slots[c].pin == pin;
            if (!taken) slots.push_back({p, pin});
        }
    }
    DealToNets(model, slots, 40, random);
}

void BuildCustom(const Parameters& params, Model& model, Random& random) {
    long parts = params.parts > 0 ? params.parts : 100 * Scale(params.size);
    long defs = params.components > 0 ? params.components : 10;
    int pins = params.pinspercomponent > 0 ? params.pinspercomponent : 8;
    int pernet = params.connectionspernet > 0 ? params.connectionspernet : 3;
    long nets = params.nets > 0 ? params.nets : (parts * pins + pernet - 1) / pernet;
    StandardHeader(model, "custom", params.templates);
    for (long d = 0; d < defs; d++) {
        Component component;
        component.name = "DEF" + std::to_string(d + 1);
        component.sourcelib = "CUSTOM.OLB";
        if (params.pinnames == PinNames::Grid)
            component.pins = GridPins(pins);
        else if (params.pinnames == PinNames::Mixed)
            component.pins = MixedPins(pins, random);
        else
            component.pins = NumericPins(pins);
        ApplyOrder(component.pins, params.pinorder, random);
        component.pinproperties = d % 2 == 0;
        model.components.push_back(std::move(component));
    }
    for (long p = 0; p < parts; p++) {
        Part part;
        part.reference = RotatingReference(p);
        part.component = static_cast<int>(p % defs);
        part.properties = PartProperties(params.propertiesperpart, "V" + std::to_string(p % 97), "FP" + std::to_string(p % defs), random);
        model.parts.push_back(std::move(part));
    }
    std::vector<Connection> slots;
    for (long p = 0; p < parts; p++)
        for (int pin = 0; pin < pins; pin++) slots.push_back({p, pin, random.Chance(2)});
    // By default connections are dealt out at random, as a host's nets are.
    if (params.connectionorder == Order::Descending) std::reverse(slots.begin(), slots.end());
    if (params.connectionorder == Order::Shuffled || params.connectionorder == Order::Default) random.Shuffle(slots);
    ConnectAll(model, slots, nets, pernet, "N");
}

// ---- Writing --------------------------------------------------------------------

bool NeedsQuotes(std::string_view token) {
    if (token.empty()) return true;
    for (char c : token) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || c == '(' || c == ')' || c == '-' || c == '"' || c == '\\' || u == 127) return true;
    }
    return false;
}

std::string Quote(std::string_view token) {
    if (!NeedsQuotes(token)) return std::string(token);
    std::string quoted = "\"";
    for (char c : token) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

// Appends pieces separated by blanks and breaks lines near WrapColumn, so
// no line comes near the reader's 1,023-character limit.
class Writer {
public:
    explicit Writer(std::string& out) : out_(out) {}
    void Line(int indent) {
        if (!out_.empty()) out_ += '\n';
        linestart_ = out_.size();
        indent_ = indent;
        out_.append(static_cast<std::size_t>(indent), ' ');
    }
    // A piece that must not be split (a token, "(" with its keyword, a
    // connection with its dash).
    void Put(const std::string& piece) {
        std::size_t column = out_.size() - linestart_;
        bool fresh = column == static_cast<std::size_t>(indent_);
        if (!fresh && column + 1 + piece.size() > WrapColumn) {
            Line(indent_ + 1);
            indent_--;  // continuation lines do not move the indent of the next Line
            fresh = true;
        }
        if (!fresh && out_.back() != '(') out_ += ' ';
        out_ += piece;
    }
    void Open(const char* keyword) { Put(std::string("(") + keyword); }
    void Close() { out_ += ')'; }
    void Pair(const std::string& name, const std::string& value) {
        Put("(" + Quote(name));
        Put(Quote(value));
        Close();
    }

private:
    std::string& out_;
    std::size_t linestart_ = 0;
    int indent_ = 0;
};

void WritePropertyGroup(Writer& w, const Properties& properties, bool each) {
    if (each) {
        for (const auto& [name, value] : properties) {
            w.Open("property");
            w.Pair(name, value);
            w.Close();
        }
        return;
    }
    w.Open("property");
    for (const auto& [name, value] : properties) w.Pair(name, value);
    w.Close();
}

void WriteModel(const Model& model, std::string& text) {
    Writer w(text);
    w.Line(0);
    w.Open("pcb");

    text += model.skipped;
    w.Line(1);
    w.Open("description");
    for (const auto& [keyword, value] : model.header) {
        w.Line(2);
        w.Pair(keyword, value);
    }
    if (!model.valuetemplate.empty()) {
        w.Line(2);
        w.Pair("partvaluecombine", model.valuetemplate);
    }
    if (!model.footprinttemplate.empty()) {
        w.Line(2);
        w.Pair("pcbfootprintcombine", model.footprinttemplate);
    }
    w.Line(1);
    w.Close();

    std::vector<std::vector<long>> partsof(model.components.size());
    for (long p = 0; p < static_cast<long>(model.parts.size()); p++)
        partsof[static_cast<std::size_t>(model.parts[static_cast<std::size_t>(p)].component)].push_back(p);
    w.Line(1);
    w.Open("placement");
    for (std::size_t c = 0; c < model.components.size(); c++) {
        if (partsof[c].empty()) continue;
        if (model.sectionpercomponent && c > 0) {
            w.Line(1);
            w.Close();
            w.Line(1);
            w.Open("placement");
        }
        w.Line(2);
        w.Open("component");
        w.Put(Quote(model.components[c].name));
        for (long p : partsof[c]) {
            const Part& part = model.parts[static_cast<std::size_t>(p)];
            w.Line(3);
            w.Open("place");
            w.Put(Quote(part.reference));
            if (!part.properties.empty()) WritePropertyGroup(w, part.properties, model.groupeach);
            w.Close();
        }
        w.Line(2);
        w.Close();
    }
    w.Line(1);
    w.Close();

    w.Line(1);
    w.Open("library");
    for (const Component& component : model.components) {
        w.Line(2);
        w.Open("image");
        w.Put(Quote(component.name));
        if (!component.sourcelib.empty() || !component.properties.empty()) {
            Properties properties = component.properties;
            if (!component.sourcelib.empty()) properties.insert(properties.begin(), {"sourcelib", component.sourcelib});
            w.Line(3);
            WritePropertyGroup(w, properties, model.groupeach);
        }
        for (std::size_t p = 0; p < component.pins.size(); p++) {
            w.Line(3);
            w.Open("pin");
            w.Put(std::to_string(p + 1));
            w.Put(Quote(component.pins[p]));
            Properties properties;
            if (component.pinproperties)
                properties = {{"pinname", "P" + std::to_string(p + 1)}, {"pintype", std::to_string(p % 8)}};
            if (p == 0) properties.insert(properties.end(), component.firstpin.begin(), component.firstpin.end());
            if (!properties.empty()) WritePropertyGroup(w, properties, model.groupeach);
            w.Close();
        }
        w.Line(2);
        w.Close();
    }
    text += model.skippedlibrary;
    w.Line(1);
    w.Close();

    w.Line(1);
    w.Open("network");
    for (const NetModel& net : model.nets) {
        w.Line(2);
        w.Open("net");
        w.Put(Quote(net.name));
        if (!net.properties.empty()) WritePropertyGroup(w, net.properties, model.groupeach);
        w.Line(3);
        w.Open("pins");
        for (std::size_t c = 0; c < net.connections.size(); c++) {
            const Connection& connection = net.connections[c];
            const Part& part = model.parts[static_cast<std::size_t>(connection.part)];
            const Component& component = model.components[static_cast<std::size_t>(part.component)];
            w.Put(Quote(part.reference) + "-" + Quote(component.pins[static_cast<std::size_t>(connection.pin)]));
            if (connection.properties) {
                Properties properties = {{"ROUTE", "FIRST"}};
                if (c == 0) properties.insert(properties.end(), net.firstconnection.begin(), net.firstconnection.end());
                WritePropertyGroup(w, properties, model.groupeach);
            }
        }
        w.Close();
        w.Line(2);
        w.Close();
    }
    w.Line(1);
    w.Close();

    if (!model.pipetext.empty() || !model.pipetextraw.empty()) {
        w.Line(1);
        w.Open("pipetext");
        for (const std::string& word : model.pipetext) w.Put(Quote(word));
        text += model.pipetextraw;
        w.Close();
    }
    w.Line(0);
    w.Close();
    text += '\n';
}

}  // namespace

Summary GenerateDesign(const Parameters& params, std::string& text) {
    Model model;
    Random random(params.seed * 0x2545F4914F6CDD1Dull + static_cast<std::uint64_t>(params.shape) * 7919u +
                  static_cast<std::uint64_t>(params.size));
    switch (params.shape) {
        case Shape::Board: BuildBoard(params, model, random); break;
        case Shape::Components: BuildComponents(params, model, random); break;
        case Shape::BigPart: BuildBigPart(params, model, random); break;
        case Shape::BigNet: BuildBigNet(params, model, random); break;
        case Shape::TwoPinNets: BuildTwoPinNets(params, model, random); break;
        case Shape::LongNames: BuildLongNames(params, model, random); break;
        case Shape::Dense: BuildDense(params, model, random); break;
        case Shape::Properties: BuildProperties(params, model, random); break;
        case Shape::Placements: BuildPlacements(params, model, random); break;
        case Shape::Skipped: BuildSkipped(params, model, random); break;
        case Shape::ManyPins: BuildManyPins(params, model, random); break;
        case Shape::Custom: BuildCustom(params, model, random); break;
    }
    text.clear();
    WriteModel(model, text);

    Summary summary;
    summary.parts = static_cast<long>(model.parts.size());
    summary.components = static_cast<long>(model.components.size());
    for (const Component& component : model.components) summary.libpins += static_cast<long>(component.pins.size());
    summary.nets = static_cast<long>(model.nets.size());
    for (const NetModel& net : model.nets) summary.connections += static_cast<long>(net.connections.size());
    summary.bytes = text.size();
    return summary;
}

namespace {

struct ShapeNameEntry {
    Shape shape;
    const char* name;
};
constexpr ShapeNameEntry ShapeNames[] = {
    {Shape::Board, "board"},       {Shape::Components, "components"}, {Shape::BigPart, "bigpart"},
    {Shape::BigNet, "bignet"},     {Shape::TwoPinNets, "twopinnets"}, {Shape::LongNames, "longnames"},
    {Shape::Dense, "dense"},       {Shape::Properties, "properties"}, {Shape::Placements, "placements"},
    {Shape::Skipped, "skipped"},   {Shape::ManyPins, "manypins"},     {Shape::Custom, "custom"},
};

}  // namespace

const char* ShapeName(Shape shape) {
    for (const ShapeNameEntry& entry : ShapeNames)
        if (entry.shape == shape) return entry.name;
    return "?";
}

bool ParseShape(const char* name, Shape* shape) {
    for (const ShapeNameEntry& entry : ShapeNames) {
        if (std::strcmp(entry.name, name) == 0) {
            *shape = entry.shape;
            return true;
        }
    }
    return false;
}

bool ParseOrder(const char* name, Order* order) {
    if (std::strcmp(name, "ascending") == 0) *order = Order::Ascending;
    else if (std::strcmp(name, "descending") == 0) *order = Order::Descending;
    else if (std::strcmp(name, "shuffled") == 0) *order = Order::Shuffled;
    else return false;
    return true;
}

bool ParsePinNames(const char* name, PinNames* names) {
    if (std::strcmp(name, "numeric") == 0) *names = PinNames::Numeric;
    else if (std::strcmp(name, "grid") == 0) *names = PinNames::Grid;
    else if (std::strcmp(name, "mixed") == 0) *names = PinNames::Mixed;
    else return false;
    return true;
}

}  // namespace zedidgen
