package orlesk.tavrin.pellux;

import orlesk.tavrin.pellux.mediainfo.AMMediaType;
import orlesk.tavrin.pellux.mediainfo.AudioInputMixerPreferences;
import orlesk.tavrin.pellux.mediainfo.MediaInfo;

/**
 * The native capture library. Handles are native object addresses owned by the
 * caller from the opening call to the matching closing call; 0 means none.
 * Every thread that calls in is bracketed by initialiseThread/releaseThread.
 *
 * <h2>Threads</h2>
 * The library keeps no lock per handle; the caller serialises the calls it
 * makes on one handle:
 * <ul>
 * <li>A session, device list or device handle is used by one thread at a
 * time. Two threads may each use a handle of their own at once.</li>
 * <li>A device is never closed while another thread still uses it: stop
 * polling for frames (isFrameAvailable, getFrameIndex, getFrame) on every
 * thread before closeDevice. The same holds for setAudioInputMediaType,
 * which replaces the frame buffers that getFrame reads.</li>
 * <li>A handle is never used after its closing call, and a handle is only
 * passed where its kind is expected.</li>
 * </ul>
 * Captured frames arrive on a thread of DirectShow's own; the library guards
 * the frame buffers it shares with that thread, so polling needs no lock of
 * the caller's beyond the rules above.
 */
public final class Pellux {
    static {
        System.loadLibrary("Pellux");
    }

    private Pellux() {
    }

    // Threads
    public static native void initialiseThread();
    public static native void releaseThread();

    // Sessions and device lists
    public static native long openSession();
    public static native void closeSession(long session);
    public static native long openDVDeviceList();
    public static native long openAudioDeviceList();
    public static native void closeDeviceList(long list);
    public static native void loadDeviceList(long list);
    public static native int getDeviceCount(long list);
    public static native String getDeviceName(long list, int index);

    // Devices
    public static native long openDevice(long list, int index);
    public static native void closeDevice(long device);

    // Capture
    public static native void startCapturing(long device);
    public static native void stopCapturing(long device);

    // Frames
    public static native int getFrameSize(long device);
    public static native boolean isFrameAvailable(long device);
    public static native long getFrameIndex(long device);
    public static native int getFrame(long device, byte[] buffer);

    // DV deck
    public static native int getTransportState(long device);
    public static native void setTransportState(long device, int mode);
    public static native int getTimeCode(long device);

    // Audio media types
    public static native AMMediaType getAudioInputMediaType(long device);
    public static native AMMediaType[] getSupportedAudioInputMediaTypes(long device);
    public static native void setAudioInputMediaType(long device, int index);
    public static native void setAudioInputMediaType(long device, int channels, int bitsPerSample,
            int samplesPerSecond);

    // Audio mixer
    public static native AudioInputMixerPreferences getAudioInputMixerPreferences(long device);
    public static native void setAudioInputMixerPreferences(long device, boolean mono, double mixLevel,
            double pan, boolean loudness, double treble, double bass);

    // Media information and frames
    public static native MediaInfo getMediaInfo(String path);
    public static native byte[] getMediaVideoFrame(String path, int height, int width, long time);

    // Media playback: present in the native library, without effect
    public static native long openMedia(long owner);
    public static native void closeMedia(long media);
    public static native int getSeekingCapabilities(long media);
    public static native void setMediaPlaybackWindow(long media, int window, int left, int top, int width,
            int height);
    public static native void playMedia(long media, long start, long stop);
    public static native void stopMedia(long media);
    public static native void setMediaPosition(long media, long position);
    public static native long getMediaPosition(long media);
}
