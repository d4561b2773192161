// The countdown behind the platform's test hooks: one operation of a kind,
// chosen in advance, fails. The heap and the text files each keep one.
#pragma once

struct FaultCountdown {
    long failat = -1;  // number of the operation that fails; -1: none
    long made = 0;     // operations counted since the hook was last set
};

// Counts one operation; true when it is the one chosen to fail.
inline bool CountOperation(FaultCountdown& hook) { return hook.made++ == hook.failat; }

// Chooses the COUNTDOWN-th operation from now (0 = the next; -1 = none) and
// restarts the count; gives how many operations the old count had reached.
inline long ChooseFailure(FaultCountdown& hook, long countdown) {
    long made = hook.made;
    hook.failat = countdown;
    hook.made = 0;
    return made;
}
