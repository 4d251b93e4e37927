package orlesk.tavrin.pellux.mediainfo;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/** The streams of a media file, in the order the media detector lists them. */
public class MediaInfo {
    private final List<Stream> streams = new ArrayList<Stream>();

    public MediaInfo() {
    }

    public void addStream(Stream stream) {
        streams.add(stream);
    }

    public List<Stream> getStreams() {
        return Collections.unmodifiableList(streams);
    }

    @Override
    public String toString() {
        StringBuilder text = new StringBuilder("MediaInfo[" + streams.size() + " streams]");
        for (Stream stream : streams) {
            text.append("\n  ").append(stream);
        }
        return text.toString();
    }
}
