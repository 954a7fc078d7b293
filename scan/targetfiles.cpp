#include "scan/targetfiles.h"

#include "scan/filesource.h"
#include "scan/targetwalk.h"

TTargetRequest TargetFiles(const TStringList &files)
{
    TTargetRequest request;
    for (const std::string &path : files)
        request.Sources.push_back({path, false});
    return request;
}

void CollectFiles(const std::string &folder, const std::string &mask, TStringList &list, bool recursive,
                  const TStopCheck &stopped, std::vector<TFileStamp> *stamps)
{
    TWalkEvents events;
    events.File = [&list](const std::string &path) { list.push_back(path); };
    if (stamps)
        events.StampedFile = [&list, stamps](const std::string &path, const TFileStamp &stamp) {
            list.push_back(path);
            stamps->push_back(stamp);
        };
    events.Stop = stopped;
    WalkTargetFiles(folder, mask, recursive, events);
}

void CollectTargets(const TTargetRequest &request, TStringList &list, const TStopCheck &stopped,
                    std::vector<TFileStamp> *stamps)
{
    for (const TTargetSource &source : request.Sources) {
        if (stopped && stopped())
            return;
        if (source.Walk && IsFolder(source.Path)) {
            CollectFiles(source.Path, request.Mask, list, request.Recursive, stopped, stamps);
        } else {
            list.push_back(source.Path);
            if (stamps) {
                stamps->emplace_back();
                FileStamp(source.Path, stamps->back());
            }
        }
    }
}
