// The channel records of the sequencer and the voice pairing.
#include "channel.h"

#include "mixer.h"

namespace introplayer {

ChannelState channels[ChannelCountMax];

Voice* twinVoice(Voice* voice)
{
    const auto index = voice - voices;
    return index < ChannelCountMax ? voice + ChannelCountMax : voice - ChannelCountMax;
}

}  // namespace introplayer
