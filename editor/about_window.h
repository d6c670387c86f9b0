#pragma once
// The splash window shown while the application starts: the application's
// picture with the version drawn over it.
#include <string>

#include "platform/gworld.h"
#include "ui/dialog_window.h"

class CAboutWindow : public CDialogWindow {
public:
    struct Settings {
        int versionMajor = 0;
        int versionMinor = 0;
        int textLeft = 10;
        int textTop = 20;
        std::string pictureFile;  // among the bundle's resources; empty for 'GfXX' 128
    };

    explicit CAboutWindow(const Settings& settings);
    ~CAboutWindow() override;

    // The last window constructed, while it lives.
    static CAboutWindow* GetInstance();

    // Renders the picture once; false (the window stays empty) when there
    // is no picture or it cannot be decoded.
    bool OnInitDialog() override;
    bool OnClose() override { return false; }
    bool OnDraw() override;

    GWorldPtr GetPicture() const { return picture_; }

private:
    bool ReadPicture(std::string* bytes) const;

    Settings settings_;
    GWorldPtr picture_ = nullptr;
};
