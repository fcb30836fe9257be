// The resources are compiled in by qt_add_resources; this unit only gives
// the library a body of its own.
namespace VoskToolResources {
int anchor()
{
    return 0;
}
} // namespace VoskToolResources
