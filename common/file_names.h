// Which names a downloaded file may be written under: only names that stay
// inside the target folder and that Windows keeps exactly as given.
#pragma once

bool IsSafeFileName(const char* name);
