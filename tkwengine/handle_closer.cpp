#include "tkwengine/handle_closer.h"

#include <algorithm>

void HandleCloser::Close(const RequestRegistry::Requests& requests)
{
    if (std::all_of(requests.begin(), requests.end(), [](HINTERNET r) { return r == nullptr; })) return;
    Join();
    requests_ = requests;
    if (!thread_.Start<HandleCloser, &HandleCloser::Run>(this)) Run();
}
