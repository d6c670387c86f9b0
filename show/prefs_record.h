#pragma once
// The preference fields a new slide takes its defaults from. The editor's
// preference record fills the one instance; until then it holds these.
struct CPrefsRecord {
    int default_image_quality = 80;
    int default_image_halign = 1;  // 0 left, 1 center, 2 right
    int default_image_valign = 1;  // 0 top, 1 center, 2 bottom
    int default_image_scale_to_fit = 1;
    int default_image_keep_aspect_ratio = 1;
    int default_image_align = 1;
    int default_image_adjust_bitmap_shift = 0;
    int read_exif_data = 0;
};

// The process-wide record.
CPrefsRecord& GetPrefsRecord();
