#include "pelmo/file/output_file.h"

#include "pelmo/file/output_file_state.h"

namespace pelmo {

OutputFile::OutputFile(const std::filesystem::path& native) : state_(std::make_unique<State>()) {
    state_->target = native;
    if (!native.empty()) state_->choose();
}

OutputFile::OutputFile(std::unique_ptr<State> state) : state_(std::move(state)) {}

OutputFile OutputFile::inPlace(const std::filesystem::path& native) {
    auto state = std::make_unique<State>();
    state->target = native;
    return OutputFile(std::move(state));
}

OutputFile::OutputFile(OutputFile&&) noexcept = default;
OutputFile::~OutputFile() = default;

OutputFile::Route OutputFile::route() const {
    return state_->route;
}

void OutputFile::open() {
    State& state = *state_;
    if (state.route == Route::Replace || state.sink) return;
    state.sink.emplace(state.target.empty() ? FileSink::standardOutput() : FileSink(state.target));
}

void OutputFile::write(const char* data, std::size_t size) {
    state_->sink->write(data, size);
}

void OutputFile::commit() {
    State& state = *state_;
    if (state.route == Route::InPlace) {
        state.sink->close();
    } else {
        state.putInPlace();
    }
}

}  // namespace pelmo
