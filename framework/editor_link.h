#pragma once

// The few operations the plug-in base needs from its editor. The editor view
// implements them; the framework knows nothing else about pixels or windows.
class IEditorLink {
  public:
    virtual ~IEditorLink() = default;

    // [main thread; also the audio thread for the meter address, already normalised]
    // Sets every control bound to `index`. Must not allocate, block or lock.
    virtual void PushParameterValue(int index, double value, bool normalised) = 0;

    // [main thread] Called once by AttachEditor after the first values are pushed.
    virtual void PrepareDrawing() = 0;
};
