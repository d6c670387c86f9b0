#pragma once
// In-place operations on signed 16-bit sample buffers (scale, mix, fade in,
// fade out) and a chain that reads a source through a list of them.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class CSampleFilter {
public:
    CSampleFilter() = default;
    virtual ~CSampleFilter() = default;
    CSampleFilter(const CSampleFilter&) = delete;
    CSampleFilter& operator=(const CSampleFilter&) = delete;

    // The kind's defaults.
    virtual void Reset()
    {
        start_ = 0;
        length_ = 0;
    }
    // Prepares a run over samples of this rate, interleaved over channels.
    virtual void Start(uint32_t /*rate*/, uint16_t /*channels*/) {}
    virtual bool CanProcess() const { return true; }
    // Rewrites count samples in place; a count of 0 or less changes nothing.
    virtual bool Process(int16_t* samples, int32_t count) = 0;
    virtual bool Finish() = 0;

    int32_t GetStart() const { return start_; }
    void SetStart(int32_t ms) { start_ = ms; }
    int32_t GetLength() const { return length_; }
    void SetLength(int32_t ms) { length_ = ms; }

protected:
    int32_t start_ = 0;   // ms
    int32_t length_ = 0;  // ms
};

// s × factor, truncated toward zero and wrapped to 16 bits (not clipped).
class CScaleSampleFilter : public CSampleFilter {
public:
    CScaleSampleFilter() { CScaleSampleFilter::Reset(); }
    void Reset() override;
    bool Process(int16_t* samples, int32_t count) override;
    bool Finish() override { return true; }

    double GetFactor() const { return factor_; }
    void SetFactor(double factor) { factor_ = factor; }

private:
    double factor_ = 1.0;
};

// Adds a second stream sample by sample, clipped to 16 bits, until the
// second stream runs out; the rest passes unchanged.
class CMixSampleFilter : public CSampleFilter {
public:
    CMixSampleFilter() { CMixSampleFilter::Reset(); }
    void Reset() override;
    // Rewinds to the second stream's first sample.
    void Start(uint32_t rate, uint16_t channels) override;
    bool Process(int16_t* samples, int32_t count) override;
    bool Finish() override { return true; }

    // Not copied: the samples must outlive the filter's runs.
    void SetSecondStream(std::span<const int16_t> samples);

private:
    int64_t active_ = 0;
    std::span<const int16_t> second_;
    size_t readPosition_ = 0;
};

// What fade in and fade out share: a gain that moves one step every so
// many samples, for so many steps.
class CGainStepFilter : public CSampleFilter {
public:
    void Reset() override;
    bool Finish() override { return true; }
    double GetGain() const { return gain_; }

protected:
    // Counts one sample down; true when a step falls on it, which then
    // starts the count again and uses up one step.
    bool StepDue();

    int64_t samplesPerStep_ = 0;
    int64_t counter_ = 0;
    int64_t stepsLeft_ = 0;
    double gain_ = 1.0;
    double gainStep_ = 0;
};

// Fade in: the gain climbs from 0 to 1 in length steps of rate / 1000
// samples each, then the samples pass unchanged.
class CRampSampleFilter : public CGainStepFilter {
public:
    CRampSampleFilter() { CRampSampleFilter::Reset(); }
    void Start(uint32_t rate, uint16_t channels) override;
    bool Process(int16_t* samples, int32_t count) override;
};

// Fade out: start ms pass unchanged, then the gain falls from 1 to 0 over
// length ms and the rest stays silent.
class CFadeOutSampleFilter : public CGainStepFilter {
public:
    CFadeOutSampleFilter() { CFadeOutSampleFilter::Reset(); }
    void Reset() override;
    void Start(uint32_t rate, uint16_t channels) override;
    bool Process(int16_t* samples, int32_t count) override;

private:
    int64_t samplesToSkip_ = 0;
    uint16_t channels_ = 1;
    int64_t stepsToSilence_ = 0;
};

// Where a chain's samples come from.
class CSampleSource {
public:
    virtual ~CSampleSource() = default;
    // Up to count samples into out; how many were written (0 at the end).
    virtual int32_t Read(int16_t* out, int32_t count) = 0;
};

// Samples held in memory.
class CMemorySampleSource : public CSampleSource {
public:
    explicit CMemorySampleSource(std::vector<int16_t> samples) : samples_(std::move(samples)) {}
    int32_t Read(int16_t* out, int32_t count) override;

private:
    std::vector<int16_t> samples_;
    size_t position_ = 0;
};

// Owns a source and its filters; each Read runs the filters in order over
// the next block of the source.
class CSampleFilterChain {
public:
    CSampleFilterChain() = default;
    CSampleFilterChain(const CSampleFilterChain&) = delete;
    CSampleFilterChain& operator=(const CSampleFilterChain&) = delete;

    void SetSource(std::unique_ptr<CSampleSource> source) { source_ = std::move(source); }
    void AddFilter(std::unique_ptr<CSampleFilter> filter);
    size_t GetFilterCount() const { return filters_.size(); }
    CSampleFilter* GetFilter(size_t i) const { return i < filters_.size() ? filters_[i].get() : nullptr; }

    // Starts every filter.
    void Start(uint32_t rate, uint16_t channels);
    // The next block of at most count filtered samples; empty at the end of
    // the source or without one. Valid until the next Read.
    std::span<const int16_t> Read(int32_t count);
    // Finishes every filter; false when one of them fails.
    bool Finish();

private:
    std::unique_ptr<CSampleSource> source_;
    std::vector<std::unique_ptr<CSampleFilter>> filters_;
    std::vector<int16_t> buffer_;
};
