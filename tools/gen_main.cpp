// zedid_gen: writes a generated intermediate netlist file. Without -o the
// text goes to standard output; a summary line always goes to standard error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gen_design.h"

namespace {

constexpr int UsageExit = 64;

const char Usage[] =
    "usage: zedid_gen [options]\n"
    "\n"
    "Writes a deterministic intermediate netlist (.ONL) design.\n"
    "\n"
    "  --shape NAME        board (default), components, bigpart, bignet,\n"
    "                      twopinnets, longnames, dense, properties,\n"
    "                      placements, skipped, manypins, custom\n"
    "  --size N            1, 2, 3, ...: each size is 10x the last (default 1)\n"
    "  --seed N            random seed (default 1)\n"
    "  --parts N           parts (board, longnames, dense, placements, manypins, custom;\n"
    "                      properties: groups per record)\n"
    "  --components N      component definitions (board, components, longnames, dense, custom)\n"
    "  --pins N            pins per component (components, bigpart, manypins, custom)\n"
    "  --nets N            nets (twopinnets, custom)\n"
    "  --connections N     connections per net (bignet, custom)\n"
    "  --properties N      properties per part (default 4)\n"
    "  --templates on|off  write the two combine templates (default on)\n"
    "  --pin-order ascending|descending|shuffled     pins as an image lists them\n"
    "  --connection-order ascending|descending|shuffled\n"
    "  --pin-names numeric|grid|mixed                (bigpart, custom)\n"
    "  -o FILE             write to FILE instead of standard output\n";

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "zedid_gen: %s\n\n%s", problem.c_str(), Usage);
    return UsageExit;
}

bool ToNumber(const char* text, long* number) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0) return false;
    *number = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    zedidgen::Parameters params;
    const char* output = nullptr;
    for (int i = 1; i < argc; i++) {
        std::string option = argv[i];
        if (option == "-h" || option == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (i + 1 >= argc) return UsageError(option + " needs a value");
        const char* value = argv[++i];
        long number = 0;
        bool numeric = ToNumber(value, &number);
        if (option == "-o") {
            output = value;
        } else if (option == "--shape") {
            if (!zedidgen::ParseShape(value, &params.shape)) return UsageError(std::string("unknown shape ") + value);
        } else if (option == "--pin-order") {
            if (!zedidgen::ParseOrder(value, &params.pinorder)) return UsageError(std::string("unknown order ") + value);
        } else if (option == "--connection-order") {
            if (!zedidgen::ParseOrder(value, &params.connectionorder))
                return UsageError(std::string("unknown order ") + value);
        } else if (option == "--pin-names") {
            if (!zedidgen::ParsePinNames(value, &params.pinnames))
                return UsageError(std::string("unknown pin names ") + value);
        } else if (option == "--templates") {
            if (std::strcmp(value, "on") != 0 && std::strcmp(value, "off") != 0)
                return UsageError("--templates takes on or off");
            params.templates = std::strcmp(value, "on") == 0;
        } else if (!numeric) {
            return UsageError(option + " needs a number, or is unknown");
        } else if (option == "--size" && number >= 1 && number <= 6) {
            params.size = static_cast<int>(number);
        } else if (option == "--seed") {
            params.seed = static_cast<std::uint64_t>(number);
        } else if (option == "--parts") {
            params.parts = number;
        } else if (option == "--components") {
            params.components = number;
        } else if (option == "--pins" && number <= 1000000) {
            params.pinspercomponent = static_cast<int>(number);
        } else if (option == "--nets") {
            params.nets = number;
        } else if (option == "--connections" && number <= 100000000) {
            params.connectionspernet = static_cast<int>(number);
        } else if (option == "--properties" && number <= 1000) {
            params.propertiesperpart = static_cast<int>(number);
        } else {
            return UsageError("unknown option or value out of range: " + option + " " + value);
        }
    }

    std::string text;
    zedidgen::Summary summary = zedidgen::GenerateDesign(params, text);
    std::FILE* file = output != nullptr ? std::fopen(output, "wb") : stdout;
    if (file == nullptr) {
        std::fprintf(stderr, "zedid_gen: cannot write %s\n", output);
        return 1;
    }
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (output != nullptr) written = std::fclose(file) == 0 && written;
    if (!written) {
        std::fprintf(stderr, "zedid_gen: writing failed\n");
        return 1;
    }
    std::fprintf(stderr, "%s size %d: %ld parts, %ld components, %ld pins, %ld nets, %ld connections, %zu bytes\n",
                 zedidgen::ShapeName(params.shape), params.size, summary.parts, summary.components, summary.libpins,
                 summary.nets, summary.connections, summary.bytes);
    return 0;
}
