// A Host Link PLC simulator on a pseudo-terminal: one or more unit numbers on one line, seven
// memory areas per unit, modes, fault injection, line timing and counters. Tests run it
// in-process (its own thread on the pty master); the plcsim program wraps it for the demo and
// the benchmarks.
//
// Memory image text format (--image FILE, loadImage/saveImage):
//
//   # a comment; blank lines are ignored
//   unit 5                      following lines belong to unit 5 (before any: the first unit)
//   mode PROGRAM                RUN, MONITOR or PROGRAM for the current unit
//   DM 100: 1234 ABCD 0001      words from DM100 on, 4 hex digits each (1 to 4 digits read)
//   TG 3: 1 0 1                 TG flags from TG3 on, 0 or 1
//   animate DM 0 count 1 every 500      an animation rule for the current unit (below)
//
// Areas are IR, LR, HR, AR, DM, TC and TG; the address is decimal. A line may hold any number
// of values; later lines overwrite earlier ones. The dump (saveImage) writes, per unit, its
// mode and every run of nonzero words, 16 to a line.
//
// Animation rules change memory while the simulator runs:
//   AREA ADDRESS count [STEP]              word += STEP (default 1), wrapping at 16 bits
//   AREA ADDRESS bcdcount                  the word counts 0000..9999 in BCD
//   AREA ADDRESS sine AMPLITUDE OFFSET PERIOD_MS
//                                          OFFSET + AMPLITUDE * sin(2 pi t / PERIOD), rounded
//   AREA ADDRESS toggle [MASK]             word ^= MASK (hex, default 1); a TG flag flips
// each optionally followed by "every MS" (default 1000 ms).
//
// On the line: read replies carry at most 30 words in the first frame and 31 in each later one
// (120 and 124 characters; TG one flag a character), each later frame only after the host's
// lone CR; multi-frame writes are answered CR by CR and take effect with the last frame. End
// code 04 beyond an area's size (simAreaSize), 13 for a frame with a bad FCS, 01 for a write in
// RUN (units start in MONITOR), 15 for malformed data; commands for units not served get no
// reply. A fault answers the command's reply: a read's first frame, a write's final reply;
// Delay and Dribble slow every frame, Silence and EndCode keep a write from taking effect.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/format_vocab.h"
#include "server/hostlink/line.h"

// Words per area of every simulated unit (a C200H-sized memory).
std::size_t simAreaSize(MemoryArea area);

enum class SimMode { Program, Monitor, Run };

// Two-letter names, "IR", ..., "TG"; MemoryArea::None for anything else.
MemoryArea simAreaFromName(const std::string& name);

enum class SimFaultKind {
    None,
    Silence,            // no reply at all
    Delay,              // reply after value milliseconds
    BadFcs,             // the reply's (first frame's) FCS is wrong
    GarbledFirstByte,   // the reply's first byte is not "@"
    MissingTerminator,  // the reply's last CR is left off
    CutMidFrame,        // only the first half of the reply frame is sent
    Dribble,            // bytes go one at a time, value milliseconds apart
    EndCode,            // the reply carries end code value (hex, e.g. 0x0B) and no data
    Flood,              // 512 characters without a CR instead of the reply
    NotSupported,       // "IC": the unit does not know the command
};

struct SimFault {
    SimFaultKind kind = SimFaultKind::None;
    int value = 0;       // milliseconds for Delay and Dribble, the end code for EndCode
    int remaining = -1;  // commands it still applies to; -1 for ever
};

// "silence", "delay=300", "badfcs", "garble", "noterm", "cut", "dribble=5", "endcode=0B", "ic",
// optionally followed by "xN" (only the next N commands). nullopt when not understood.
std::optional<SimFault> parseSimFault(const std::string& text);

struct SimCounters {
    std::uint64_t commands = 0;        // command frames with a header (first frames)
    std::uint64_t framesIn = 0;        // every frame received, lone CRs included
    std::uint64_t framesOut = 0;       // every frame sent, lone CRs included
    std::uint64_t charsIn = 0;
    std::uint64_t charsOut = 0;
    std::uint64_t fcsErrors = 0;       // received frames whose FCS was wrong
};

struct SimAnimation {
    enum class Kind { Count, BcdCount, Sine, Toggle, Clock };
    std::uint8_t unit = 0;
    MemoryArea area = MemoryArea::DM;
    std::uint16_t address = 0;
    Kind kind = Kind::Count;
    double a = 1;        // step / amplitude / mask
    double b = 0;        // offset
    double periodMs = 10000;
    int everyMs = 1000;
};

// "DM 10 count 1 every 500" (unit given apart); nullopt with *error when not understood.
std::optional<SimAnimation> parseSimAnimation(const std::string& text, std::uint8_t unit,
                                              std::string* error = nullptr);

class PlcSimulator {
public:
    struct Options {
        std::vector<std::uint8_t> units;  // empty: the units of the image, else unit 0
        std::string linkPath;             // when set: a symlink to the pty slave
        std::uint32_t baud = 0;           // 0: no line timing; else 11 bits per character
        bool verbose = false;             // every frame on standard error
    };

    PlcSimulator();
    explicit PlcSimulator(Options options);
    ~PlcSimulator();
    PlcSimulator(const PlcSimulator&) = delete;
    PlcSimulator& operator=(const PlcSimulator&) = delete;

    // Opens the pty (and the link) and starts serving. False with *error on failure.
    bool start(std::string* error = nullptr);
    // Stops serving and closes the pty master: the host's side sees a hang-up.
    void stop();
    bool running() const { return running_; }
    // The pty slave path (or the link path when one was asked for).
    std::string devicePath() const;
    const std::string& slavePath() const { return slavePath_; }
    // The settings the host's side put on the terminal (a pty holds the speed and the stop
    // bits; the kernel keeps it at 8 bits, no parity). Nothing before start.
    std::optional<SerialSettings> lineSettings() const;

    // Units answered on the line (before start; memory of other units is kept but silent).
    void addUnit(std::uint8_t unit);
    std::vector<std::uint8_t> units() const;

    // ---- memory (thread-safe) ----
    bool setWord(std::uint8_t unit, MemoryArea area, std::uint16_t address, std::uint16_t value);
    bool setWords(std::uint8_t unit, MemoryArea area, std::uint16_t address,
                  const std::vector<std::uint16_t>& values);
    std::optional<std::uint16_t> word(std::uint8_t unit, MemoryArea area,
                                      std::uint16_t address) const;
    std::vector<std::uint16_t> words(std::uint8_t unit, MemoryArea area, std::uint16_t address,
                                     std::size_t count) const;
    void clearMemory();

    // ---- image ----
    bool loadImage(const std::string& path, std::string* error = nullptr);
    bool loadImageText(std::istream& in, std::string* error = nullptr);
    bool saveImage(const std::string& path, std::string* error = nullptr) const;
    void dumpImage(std::ostream& out) const;

    // ---- mode ----
    void setMode(std::uint8_t unit, SimMode mode);
    SimMode mode(std::uint8_t unit) const;
    // What MM and MS report: the model code (default 12, the C200H family), the fatal error
    // and FALS flags and the FAL/FALS message (up to 16 characters).
    void setModel(std::uint8_t unit, std::uint8_t code);
    void setErrors(std::uint8_t unit, bool fatal, bool fals, const std::string& message = {});
    // Writes refused in RUN with end code 01, as many C-series controllers do (off by default).
    void setRunLock(bool on);

    // ---- faults: per unit and command header ("RD", "WH", ...; "*" for every command) ----
    void setFault(std::uint8_t unit, const std::string& command, const SimFault& fault);
    void clearFault(std::uint8_t unit, const std::string& command);
    void clearFaults();

    // ---- animation ----
    void addAnimation(const SimAnimation& animation);
    void clearAnimations();
    // Applies every rule that is due at now (the thread calls it; tests may too).
    void animate(std::chrono::steady_clock::time_point now);

    // ---- counters ----
    SimCounters counters() const;
    void resetCounters();

private:
    struct Unit;
    struct PendingRead;
    struct PendingWrite;

    void run();
    void handleFrame(const std::string& frame);
    void handleCommand(const std::string& frame);
    void handleContinuation(const std::string& frame);
    // MS, MM, TS and SC; false for any other header.
    bool handleHealthCommand(std::uint8_t unit, const std::string& header, const std::string& frame,
                             const SimFault& fault);
    void sendReadFrame();
    void finishWrite();
    void reply(std::string frame, const SimFault& fault, bool finalFrame);
    void sendPaced(const std::string& bytes, int dribbleMs);
    void sendRaw(const char* bytes, std::size_t length);
    Unit* unitFor(std::uint8_t unit);
    const Unit* unitFor(std::uint8_t unit) const;
    Unit& unitCreate(std::uint8_t unit);
    bool serves(std::uint8_t unit) const;
    SimFault takeFault(std::uint8_t unit, const std::string& command);

    Options options_;
    std::atomic<bool> runLock_{false};
    mutable std::mutex mutex_;
    std::map<std::uint8_t, std::unique_ptr<Unit>> memory_;
    std::vector<std::uint8_t> served_;
    std::map<std::pair<std::uint8_t, std::string>, SimFault> faults_;
    std::vector<SimAnimation> animations_;
    std::vector<std::chrono::steady_clock::time_point> animationDue_;
    std::chrono::steady_clock::time_point animationStart_;
    SimCounters counters_;

    int master_ = -1;
    int slaveKeep_ = -1;
    std::string slavePath_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    std::thread thread_;

    // The line's conversation state; touched only by the serving thread.
    std::string inbox_;
    std::unique_ptr<PendingRead> pendingRead_;
    std::unique_ptr<PendingWrite> pendingWrite_;
};
