// The random choices of the GUI monkey, from one seed: what to do next, to
// which of n widgets, where, and what to type. Plain C++ over Qt's strings.
#pragma once

#include <QString>

#include <cstdint>
#include <random>

class monkey_hands {
public:
    enum class action { click, right_click, double_click, wheel, key, text, clear };

    explicit monkey_hands(std::uint64_t seed) : rng_(seed) {}

    action next_action();
    // A key code of Qt::Key (navigation, editing, digits, letters, Enter, Escape).
    int next_key();
    // Text an operator should never type: garbage, huge and negative numbers,
    // numbers in other notations, non-ASCII, and the empty text.
    QString next_text();

    // 0 .. n - 1 (0 when n <= 0).
    int below(int n);
    // True with probability p.
    bool chance(double p);
    std::uint64_t raw() { return rng_(); }

private:
    std::mt19937_64 rng_;
};
